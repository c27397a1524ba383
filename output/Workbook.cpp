#include "output/Workbook.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <vector>

#include "common/Error.h"
#include "common/Text.h"
#include "output/internal/Package.h"
#include "output/internal/Sheet.h"
#include "output/internal/Styles.h"
#include "output/internal/Zip.h"

namespace vireo {

using namespace xlsx;

namespace {

constexpr const char* kContentTypesPart = "[Content_Types].xml";
constexpr const char* kStylesType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
constexpr const char* kStylesContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
constexpr const char* kWorkbookContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";

std::string DirectoryOf(const std::string& part) {
  auto slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target as a zip entry name: relative to `base` (the
// source part's folder) unless it starts with "/"; "." and ".." resolved.
std::string ResolveTarget(const std::string& base, std::string_view target) {
  std::string joined = !target.empty() && target.front() == '/' ? std::string(target.substr(1))
                                                                : base + std::string(target);
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= joined.size()) {
    auto slash = joined.find('/', start);
    if (slash == std::string::npos) slash = joined.size();
    std::string segment = joined.substr(start, slash - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(std::move(segment));
    }
    start = slash + 1;
  }
  std::string path;
  for (const std::string& s : segments) path += (path.empty() ? "" : "/") + s;
  return path;
}

std::string PrefixOf(pugi::xml_node element) {
  std::string_view name(element.name());
  return std::string(name.substr(0, name.size() - LocalNameOf(element.name()).size()));
}

pugi::xml_node ChildNamed(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element && LocalNameOf(n.name()) == local) return n;
  return {};
}

std::vector<pugi::xml_node> ChildrenNamed(pugi::xml_node parent, std::string_view local) {
  std::vector<pugi::xml_node> nodes;
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element && LocalNameOf(n.name()) == local) nodes.push_back(n);
  return nodes;
}

// Relationship types end in the same word in Transitional and Strict files.
bool TypeIs(pugi::xml_node relationship, std::string_view word) {
  std::string_view type = relationship.attribute("Type").value();
  return type.size() > word.size() && type.substr(type.size() - word.size()) == word &&
         type[type.size() - word.size() - 1] == '/';
}

bool IsExternal(pugi::xml_node relationship) {
  return std::string_view(relationship.attribute("TargetMode").value()) == "External";
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string CellName(int row, int column) {
  std::string name;
  if (column >= 1 && column <= Workbook::kMaxColumns)
    AppendColumnName(name, column);
  else
    name = "column " + std::to_string(column) + " ";
  return name + std::to_string(row);
}

// Characters as Excel counts them: UTF-16 code units.
std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::string SharedStringText(pugi::xml_node si) {
  std::string text;
  for (pugi::xml_node n = si.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element) continue;
    std::string_view name = LocalNameOf(n.name());
    if (name == "t") {
      text += n.text().get();
    } else if (name == "r") {
      if (pugi::xml_node t = ChildNamed(n, "t")) text += t.text().get();
    }
  }
  return DecodeEscapes(text);
}

}  // namespace

class Workbook::Impl {
 public:
  std::string file;
  std::unique_ptr<ZipReader> zip;
  std::string workbookPart, workbookRelsPart, sheetPart, sheetName, stylesPart;
  bool stylesCreated = false;
  Styles styles;
  std::optional<std::string> contentTypes;  // rewritten [Content_Types].xml
  std::optional<std::string> workbookRels;  // rewritten workbook relationships
  std::set<std::string> removed;            // entries not written again
  SheetFrame frame;
  SheetStore store;
  bool sheetChanged = false;

  [[noreturn]] void Fail(const std::string& operation, const std::string& cause) const {
    throw Error(file, operation, cause);
  }

  std::optional<std::size_t> Entry(const std::string& part) const { return zip->Find(part); }

  void Load();
  // "write cell B7": built only when a call fails, never per cell.
  static std::string Operation(const char* verb, int row, int column) {
    return std::string(verb) + " cell " + CellName(row, column);
  }
  void CheckCell(int row, int column, const char* verb) const;
  // The style the cell has, or a new cell there would get.
  std::uint16_t StyleOf(int row, int column) const;
  // The style a new cell in row `r` (may be null) at `column` gets.
  std::uint16_t NewCellStyle(const Row* r, int column) const;
  Cell& Ensure(int row, int column);
  void WritePackage(const std::function<void(std::string_view)>& sink) const;
};

void Workbook::Impl::Load() {
  // The workbook part, as the package relationships name it.
  workbookPart = "xl/workbook.xml";
  if (auto rels = Entry("_rels/.rels")) {
    pugi::xml_document doc;
    ParseXmlPart(doc, zip->Read(*rels), file, "_rels/.rels");
    for (pugi::xml_node rel : ChildrenNamed(doc.document_element(), "Relationship"))
      if (TypeIs(rel, "officeDocument") && !IsExternal(rel)) {
        workbookPart = ResolveTarget("", rel.attribute("Target").value());
        break;
      }
  }
  auto workbookEntry = Entry(workbookPart);
  if (!workbookEntry) Fail("not a workbook", "no " + workbookPart);
  workbookPart = zip->Name(*workbookEntry);
  const std::string base = DirectoryOf(workbookPart);

  pugi::xml_document workbook;
  ParseXmlPart(workbook, zip->Read(*workbookEntry), file, workbookPart);
  pugi::xml_node root = workbook.document_element();
  if (LocalNameOf(root.name()) != "workbook")
    Fail("not a workbook", workbookPart + " is no workbook");
  std::vector<pugi::xml_node> sheets = ChildrenNamed(ChildNamed(root, "sheets"), "sheet");
  if (sheets.empty()) Fail("read workbook", "the workbook has no sheets");
  long activeTab = 0;
  if (pugi::xml_node view = ChildNamed(ChildNamed(root, "bookViews"), "workbookView")) {
    std::string_view text = view.attribute("activeTab").value();
    if (!text.empty()) {
      auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), activeTab);
      if (ec != std::errc() || ptr != text.data() + text.size()) activeTab = -1;
    }
  }
  if (activeTab < 0 || activeTab >= static_cast<long>(sheets.size()))
    Fail("read workbook",
         "the active sheet (tab " + std::to_string(activeTab) + ") does not exist");
  pugi::xml_node sheet = sheets[static_cast<std::size_t>(activeTab)];
  sheetName = sheet.attribute("name").value();
  std::string relId;
  for (pugi::xml_attribute a = sheet.first_attribute(); a; a = a.next_attribute()) {
    std::string_view n = a.name();
    if (n.size() > 3 && n.substr(n.size() - 3) == ":id") relId = a.value();
  }

  workbookRelsPart = base + "_rels/" + workbookPart.substr(base.size()) + ".rels";
  auto relsEntry = Entry(workbookRelsPart);
  if (!relsEntry) Fail("not a workbook", "no " + workbookRelsPart);
  workbookRelsPart = zip->Name(*relsEntry);
  pugi::xml_document rels;
  ParseXmlPart(rels, zip->Read(*relsEntry), file, workbookRelsPart);
  pugi::xml_node relsRoot = rels.document_element();
  bool relsChanged = false;

  // The active sheet.
  pugi::xml_node sheetRel;
  for (pugi::xml_node rel : ChildrenNamed(relsRoot, "Relationship"))
    if (!relId.empty() && relId == rel.attribute("Id").value()) sheetRel = rel;
  if (!sheetRel) Fail("read workbook", "the active sheet \"" + sheetName + "\" has no part");
  if (TypeIs(sheetRel, "chartsheet"))
    Fail("read workbook", "the active sheet \"" + sheetName + "\" is a chart, not a worksheet");
  if (!TypeIs(sheetRel, "worksheet") || IsExternal(sheetRel))
    Fail("read workbook", "the active sheet \"" + sheetName + "\" is not a worksheet");
  sheetPart = ResolveTarget(base, sheetRel.attribute("Target").value());
  auto sheetEntry = Entry(sheetPart);
  if (!sheetEntry) Fail("read workbook", "the active sheet's part " + sheetPart + " is missing");
  sheetPart = zip->Name(*sheetEntry);

  // Styles, shared strings, calculation chain.
  std::vector<std::string> sharedStrings;
  pugi::xml_node stylesRel;
  std::vector<std::string> calcChains;
  for (pugi::xml_node rel : ChildrenNamed(relsRoot, "Relationship")) {
    if (IsExternal(rel)) continue;
    const std::string target = ResolveTarget(base, rel.attribute("Target").value());
    if (TypeIs(rel, "styles") && !stylesRel) {
      stylesRel = rel;
      stylesPart = target;
    } else if (TypeIs(rel, "sharedStrings") && sharedStrings.empty()) {
      if (auto entry = Entry(target)) {
        pugi::xml_document sst;
        ParseXmlPart(sst, zip->Read(*entry), file, zip->Name(*entry),
                     pugi::parse_default | pugi::parse_ws_pcdata);
        for (pugi::xml_node si : ChildrenNamed(sst.document_element(), "si"))
          sharedStrings.push_back(SharedStringText(si));
      }
    } else if (TypeIs(rel, "calcChain")) {
      // Cells written over formulas would leave it pointing at nothing;
      // Excel rebuilds it.
      calcChains.push_back(target);
      relsRoot.remove_child(rel);
      relsChanged = true;
    }
  }
  for (const std::string& chain : calcChains)
    if (auto entry = Entry(chain)) removed.insert(zip->Name(*entry));

  if (!stylesRel) stylesPart = base + "styles.xml";
  if (auto entry = Entry(stylesPart)) {
    stylesPart = zip->Name(*entry);
    styles.Load(zip->Read(*entry), file, stylesPart);
  } else {
    stylesCreated = true;
    styles.Load(DefaultStylesXml(), file, stylesPart);
  }
  if (!stylesRel) {
    std::set<std::string> ids;
    for (pugi::xml_node rel : ChildrenNamed(relsRoot, "Relationship"))
      ids.insert(rel.attribute("Id").value());
    int n = 1;
    while (ids.count("rId" + std::to_string(n))) ++n;
    pugi::xml_node rel = relsRoot.append_child((PrefixOf(relsRoot) + "Relationship").c_str());
    rel.append_attribute("Id") = ("rId" + std::to_string(n)).c_str();
    rel.append_attribute("Type") = kStylesType;
    rel.append_attribute("Target") = stylesPart.substr(base.size()).c_str();
    relsChanged = true;
  }
  if (relsChanged) workbookRels = SerializeXml(rels);

  // Content types: keep them in step with the parts.
  auto typesEntry = Entry(kContentTypesPart);
  if (!typesEntry) Fail("not a workbook", std::string("no ") + kContentTypesPart);
  pugi::xml_document types;
  ParseXmlPart(types, zip->Read(*typesEntry), file, kContentTypesPart);
  pugi::xml_node typesRoot = types.document_element();
  bool typesChanged = false, stylesListed = false;
  for (pugi::xml_node over : ChildrenNamed(typesRoot, "Override")) {
    std::string_view partName = over.attribute("PartName").value();
    if (!partName.empty() && partName.front() == '/') partName.remove_prefix(1);
    bool isChain = false;
    for (const std::string& chain : calcChains) isChain = isChain || EqualNoCase(partName, chain);
    if (isChain) {
      typesRoot.remove_child(over);
      typesChanged = true;
    } else if (EqualNoCase(partName, stylesPart)) {
      stylesListed = true;
    } else if (EqualNoCase(partName, workbookPart) &&
               std::string_view(over.attribute("ContentType").value()).find("template.main+xml") !=
                   std::string_view::npos) {
      // A template (.xltx) saved as a workbook must say so, or Excel refuses it.
      over.attribute("ContentType") = kWorkbookContentType;
      typesChanged = true;
    }
  }
  if (!stylesListed) {
    pugi::xml_node over = typesRoot.append_child((PrefixOf(typesRoot) + "Override").c_str());
    over.append_attribute("PartName") = ("/" + stylesPart).c_str();
    over.append_attribute("ContentType") = kStylesContentType;
    typesChanged = true;
  }
  if (typesChanged) contentTypes = SerializeXml(types);

  // The sheet itself, streamed.
  const std::size_t index = *sheetEntry;
  ReadSheet(
      [&](const std::function<void(std::string_view)>& piece) { zip->ReadChunks(index, piece); },
      sharedStrings, file, sheetPart, frame, store);
}

void Workbook::Impl::CheckCell(int row, int column, const char* verb) const {
  if (row < 1 || row > kMaxRows)
    Fail(Operation(verb, row, column),
         "row " + std::to_string(row) + " is outside 1.." + std::to_string(kMaxRows));
  if (column < 1 || column > kMaxColumns)
    Fail(Operation(verb, row, column),
         "column " + std::to_string(column) + " is outside 1.." + std::to_string(kMaxColumns));
}

std::uint16_t Workbook::Impl::StyleOf(int row, int column) const {
  const Row* r = store.FindRow(row);
  if (r)
    if (const Cell* cell = SheetStore::FindCell(*r, column)) return cell->style;
  return NewCellStyle(r, column);
}

std::uint16_t Workbook::Impl::NewCellStyle(const Row* r, int column) const {
  // A new cell looks like its row, else like its column.
  if (r && r->hasStyle) return r->style;
  for (const ColumnStyle& c : frame.columnStyles)
    if (column >= c.min && column <= c.max) return c.style;
  return 0;
}

Cell& Workbook::Impl::Ensure(int row, int column) {
  sheetChanged = true;
  Row& r = store.GetRow(row);
  if (Cell* cell = SheetStore::FindCell(r, column)) return *cell;
  return SheetStore::GetCell(r, column, NewCellStyle(&r, column));
}

void Workbook::Impl::WritePackage(const std::function<void(std::string_view)>& sink) const {
  ZipWriter writer(sink);
  auto writeContent = [&](const std::string& name, const std::string& content) {
    writer.Add(name, DeflateWhole(content));
  };
  // [Content_Types].xml first: tools that sniff the file type look there.
  auto typesEntry = zip->Find(kContentTypesPart);
  if (contentTypes)
    writeContent(zip->Name(*typesEntry), *contentTypes);
  else
    writer.Add(zip->Name(*typesEntry), zip->ReadStored(*typesEntry));

  for (std::size_t i = 0; i < zip->Count(); ++i) {
    const std::string& name = zip->Name(i);
    if (i == *typesEntry || removed.count(name)) continue;
    if (name == sheetPart && sheetChanged) {
      Deflater deflater(1);
      WriteSheet(frame, store, [&](std::string_view piece) { deflater.Write(piece); });
      writer.Add(name, deflater.Finish());
    } else if (name == stylesPart && styles.Changed()) {
      writeContent(name, styles.Serialize());
    } else if (name == workbookRelsPart && workbookRels) {
      writeContent(name, *workbookRels);
    } else {
      writer.Add(name, zip->ReadStored(i));
    }
  }
  if (stylesCreated) writeContent(stylesPart, styles.Serialize());
  writer.Finish();
}

namespace xlsx {

std::string BuildWorkbookPackage(std::string_view sheetBody, std::string_view stylesXml) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string relNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string pkgRels = "http://schemas.openxmlformats.org/package/2006/relationships";
  const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  return BuildPackage({
      {kContentTypesPart,
       declaration +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
           ct +
           "sheet.main+xml\"/>"
           "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
           ct +
           "worksheet+xml\"/>"
           "<Override PartName=\"/xl/styles.xml\" ContentType=\"" +
           ct +
           "styles+xml\"/>"
           "</Types>"},
      {"_rels/.rels", declaration + "<Relationships xmlns=\"" + pkgRels +
                          "\"><Relationship Id=\"rId1\" Type=\"" + relNs +
                          "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml",
       declaration + "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + relNs +
           "\"><bookViews><workbookView activeTab=\"0\"/></bookViews>"
           "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       declaration + "<Relationships xmlns=\"" + pkgRels + "\"><Relationship Id=\"rId1\" Type=\"" +
           relNs +
           "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
           relNs + "/styles\" Target=\"styles.xml\"/></Relationships>"},
      {"xl/worksheets/sheet1.xml",
       declaration + "<worksheet xmlns=\"" + main + "\" xmlns:r=\"" + relNs +
           "\"><dimension ref=\"A1\"/><sheetViews><sheetView tabSelected=\"1\" "
           "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>" +
           std::string(sheetBody) +
           "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
           "footer=\"0.3\"/></worksheet>"},
      {"xl/styles.xml", std::string(stylesXml)},
  });
}

}  // namespace xlsx

Workbook::Workbook(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::Open(const std::string& path, FileSystem& fs) {
  return OpenFromBytes(ReadWholeFile(fs, path), path);
}

Workbook Workbook::OpenFromBytes(std::string bytes, const std::string& name) {
  auto impl = std::make_unique<Impl>();
  impl->file = name;
  impl->zip = std::make_unique<ZipReader>(std::move(bytes), name);
  impl->Load();
  return Workbook(std::move(impl));
}

Workbook Workbook::CreateBlank() {
  return OpenFromBytes(BuildWorkbookPackage("<sheetData/>", DefaultStylesXml()), "new workbook");
}

CellValue Workbook::Get(int row, int column) const {
  impl_->CheckCell(row, column, "read");
  const Row* r = impl_->store.FindRow(row);
  const Cell* cell = r ? SheetStore::FindCell(*r, column) : nullptr;
  if (!cell) return CellValue::Empty();
  if (cell->Kind() == CellKind::Raw) cell = &impl_->store.raws[cell->offset].value;
  switch (cell->Kind()) {
    case CellKind::Number:
      return CellValue::Number(cell->number);
    case CellKind::Text:
      return CellValue::Text(std::string(impl_->store.Text(*cell)));
    default:
      return CellValue::Empty();
  }
}

void Workbook::SetNumber(int row, int column, double value) {
  impl_->CheckCell(row, column, "write");
  if (!std::isfinite(value))
    impl_->Fail(Impl::Operation("write", row, column), "a cell cannot hold NaN or infinity");
  Cell& cell = impl_->Ensure(row, column);
  cell.SetKind(CellKind::Number);
  cell.number = value;
}

void Workbook::SetNumber(int row, int column, double value, std::string_view numberFormat) {
  impl_->CheckCell(row, column, "write");
  if (!std::isfinite(value))
    impl_->Fail(Impl::Operation("write", row, column), "a cell cannot hold NaN or infinity");
  // The style first: if the format is refused, no cell has been made.
  const std::uint16_t current = impl_->StyleOf(row, column);
  const std::uint16_t style = impl_->styles.WithNumberFormat(current, numberFormat);
  Cell& cell = impl_->Ensure(row, column);
  cell.style = style;
  cell.SetKind(CellKind::Number);
  cell.number = value;
}

void Workbook::SetText(int row, int column, std::string_view text) {
  impl_->CheckCell(row, column, "write");
  std::string utf8 = ToUtf8(text);
  if (Utf16Length(utf8) > static_cast<std::size_t>(kMaxTextLength))
    impl_->Fail(Impl::Operation("write", row, column),
                "text longer than " + std::to_string(kMaxTextLength) + " characters");
  Cell& cell = impl_->Ensure(row, column);
  impl_->store.SetText(cell, utf8);
  cell.SetKind(CellKind::Text);
}

void Workbook::Clear(int row, int column) {
  impl_->CheckCell(row, column, "clear");
  Row* r = impl_->store.FindRow(row);
  Cell* cell = r ? SheetStore::FindCell(*r, column) : nullptr;
  if (!cell || cell->Kind() == CellKind::Empty) return;
  impl_->sheetChanged = true;
  cell->SetKind(CellKind::Empty);
}

void Workbook::Set(int row, int column, const CellValue& value) {
  switch (value.kind) {
    case CellValue::Kind::Number:
      SetNumber(row, column, value.number);
      break;
    case CellValue::Kind::Text:
      SetText(row, column, value.text);
      break;
    case CellValue::Kind::Empty:
      Clear(row, column);
      break;
  }
}

int Workbook::LastRow() const {
  const auto& rows = impl_->store.rows;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    for (const Cell& cell : it->cells)
      if (cell.Kind() != CellKind::Empty) return static_cast<int>(it->number);
  return 0;
}

std::string Workbook::ActiveSheetName() const {
  return impl_->sheetName;
}

void Workbook::Save(const std::string& path, FileSystem& fs) const {
  Save(path, fs, ReplaceOptions{});
}

void Workbook::Save(const std::string& path, FileSystem& fs, const ReplaceOptions& options) const {
  ReplaceFile(
      fs, path, [&](OutputStream& out) { Write(out); }, options);
}

void Workbook::Write(OutputStream& out) const {
  impl_->WritePackage([&](std::string_view bytes) { out.Write(bytes); });
}

std::string Workbook::SaveToBytes() const {
  std::string bytes;
  impl_->WritePackage([&](std::string_view piece) { bytes.append(piece); });
  return bytes;
}

}  // namespace vireo
