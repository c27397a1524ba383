#include "output/Workbook.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "output/internal/Chart.h"
#include "output/internal/Layout.h"
#include "output/internal/Sheet.h"
#include "output/internal/Styles.h"
#include "output/internal/Zip.h"

namespace vireo {

using namespace xlsx;

namespace {

constexpr const char* kContentTypesPart = "[Content_Types].xml";
constexpr const char* kWorkbookContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
constexpr const char* kRelationshipsNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kStrictRelationshipsNs =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";
constexpr const char* kPackageRelationshipsNs =
    "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kOfficeContentType = "application/vnd.openxmlformats-officedocument.";
constexpr const char* kPrintTitles = "_xlnm.Print_Titles";
constexpr const char* kDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

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

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// Why a sheet name cannot be used, or empty when it can.
std::string SheetNameProblem(std::string_view name) {
  if (name.empty()) return "a sheet name cannot be empty";
  if (Utf16LengthOf(name) > 31) return "a sheet name holds at most 31 characters";
  if (name.find_first_of(":\\/?*[]") != std::string_view::npos)
    return "a sheet name cannot hold any of : \\ / ? * [ ]";
  if (name.front() == '\'' || name.back() == '\'')
    return "a sheet name cannot start or end with an apostrophe";
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20) return "a sheet name cannot hold control characters";
  return {};
}

std::string CellName(int row, int column) {
  std::string name;
  if (column >= 1 && column <= Workbook::kMaxColumns)
    AppendColumnName(name, column);
  else
    name = "column " + std::to_string(column) + " ";
  return name + std::to_string(row);
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

// The name of the part holding `part`'s relationships.
std::string RelationshipsPartOf(const std::string& part) {
  const std::string folder = DirectoryOf(part);
  return folder + "_rels/" + part.substr(folder.size()) + ".rels";
}

unsigned FlagsOf(const CellFormat& format) {
  unsigned flags = (format.bold ? kBold : 0u) | (format.redFill ? kRedFill : 0u) |
                   (format.ruleBelow ? kRuleBelow : 0u);
  switch (format.align) {
    case Align::Keep:
      return flags;
    case Align::Left:
      flags |= kAlignLeft;
      break;
    case Align::Right:
      flags |= kAlignRight;
      break;
    case Align::Center:
      flags |= kAlignCenter;
      break;
  }
  return flags | IndentFlags(format.indent);
}

bool IsPlain(const CellFormat& format) {
  return format.numberFormat.empty() && FlagsOf(format) == 0;
}

// A new package: one empty worksheet named `sheetName`, active.
std::string NewPackage(const std::string& sheetName) {
  const std::string d = kDeclaration;
  const std::string rel = kRelationshipsNs;
  const std::string pkg = kPackageRelationshipsNs;
  const std::string ct = std::string(kOfficeContentType) + "spreadsheetml.";
  std::string name;
  AppendEscapedAttribute(name, sheetName);
  return BuildPackage({
      {kContentTypesPart,
       d +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
           ct +
           "sheet.main+xml\"/><Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
           ct + "worksheet+xml\"/><Override PartName=\"/xl/styles.xml\" ContentType=\"" + ct +
           "styles+xml\"/></Types>"},
      {"_rels/.rels", d + "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" +
                          rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml",
       d +
           "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"" +
           rel + "\"><bookViews><workbookView activeTab=\"0\"/></bookViews><sheets><sheet name=\"" +
           name + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       d + "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
           "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
           rel + "/styles\" Target=\"styles.xml\"/></Relationships>"},
      {"xl/worksheets/sheet1.xml",
       d + "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData/></worksheet>"},
      {"xl/styles.xml", DefaultStylesXml()},
  });
}

}  // namespace

// Rows from which a sheet read back and saved again counts as long.
constexpr std::size_t kLongSheetRows = 50000;

struct Workbook::SheetState {
  std::string name;
  std::string part;     // zip entry
  std::string problem;  // why it is no usable worksheet; empty when it is one
  bool loaded = false;
  bool changed = false;
  SheetFrame frame;
  SheetStore store;
  StreamedRows streamed;              // rows written at save time, if any
  std::unique_ptr<AddedSheet> added;  // a sheet this program added
};

class Workbook::Impl {
 public:
  std::string file;
  std::unique_ptr<ZipReader> zip;
  std::string workbookPart, workbookRelsPart, stylesPart, base;
  bool stylesCreated = false;
  Styles styles;
  // The small XML parts that sheets, charts and print titles change.
  pugi::xml_document workbookXml, relsXml, typesXml;
  bool workbookChanged = false, relsChanged = false, typesChanged = false;
  std::set<std::string> removed;  // entries not written again
  std::vector<std::string> sharedStrings;
  std::vector<std::unique_ptr<SheetState>> sheets;  // in tab order
  SheetState* active = nullptr;
  std::vector<std::string> charts;  // the package's chart parts
  std::set<std::string> partNames;  // lower case: entries and parts added

  [[noreturn]] void Fail(const std::string& operation, const std::string& cause) const {
    throw Error(file, operation, cause);
  }

  std::optional<std::size_t> Entry(const std::string& part) const { return zip->Find(part); }

  void Load();
  void FindWorkbookPart();
  // The sheets of the workbook part and the active one; returns that
  // part's relationships.
  pugi::xml_node ReadSheets();
  // Styles and shared strings; a calculation chain is dropped (returned).
  std::vector<std::string> ReadWorkbookParts(pugi::xml_node relsRoot);
  void ReadContentTypes(const std::vector<std::string>& calcChains);
  void LoadSheet(SheetState& sheet, int lastRow = 0);
  SheetState* Find(std::string_view name) const;
  // The sheet read whole, or (lastRow > 0) at least down to lastRow.
  SheetState& Usable(SheetState& sheet, int lastRow = 0);
  SheetState& AddSheet(std::string_view name);
  void RequireAdded(const SheetState& sheet, const char* operation) const;
  std::string NewPart(const std::string& stem, bool withRelationships);
  std::string AddRelationship(pugi::xml_node root, const char* type, const std::string& target);
  void AddOverride(const std::string& part, const std::string& contentType);
  void SetPrintTitles(const SheetState& sheet, int firstRow, int lastRow);

  // "write cell B7" ("write cell Profile!B7" off the active sheet): built
  // only when a call fails, never per cell.
  std::string Operation(const SheetState& sheet, const char* verb, int row, int column) const {
    return std::string(verb) + " cell " + (&sheet == active ? "" : sheet.name + "!") +
           CellName(row, column);
  }
  void CheckCell(const SheetState& sheet, int row, int column, const char* verb) const;
  void CheckFinite(const SheetState& sheet, int row, int column, double value) const {
    if (!std::isfinite(value))
      Fail(Operation(sheet, "write", row, column), "a cell cannot hold NaN or infinity");
  }
  // The style the cell has, or a new cell there would get.
  std::uint16_t StyleOf(const SheetState& sheet, int row, int column) const;
  // The style a new cell in row `r` (may be null) at `column` gets.
  static std::uint16_t NewCellStyle(const SheetState& sheet, const Row* r, int column);
  Cell& Ensure(SheetState& sheet, int row, int column);
  std::uint16_t Styled(const SheetState& sheet, int row, int column, const CellFormat& format) {
    return styles.WithFormat(StyleOf(sheet, row, column), format.numberFormat, FlagsOf(format));
  }
  // A cell with the look `format` adds, else the look `style` (from
  // StyleFor), else the look of a new cell there.
  void PutNumber(SheetState& sheet, int row, int column, double value, const CellFormat* format,
                 const CellStyleId* style = nullptr);
  void PutText(SheetState& sheet, int row, int column, std::string_view text,
               const CellFormat* format, const CellStyleId* style = nullptr);
  void WritePackage(const std::function<void(std::string_view)>& sink) const;
};

void Workbook::Impl::Load() {
  FindWorkbookPart();
  const pugi::xml_node relsRoot = ReadSheets();
  const std::vector<std::string> calcChains = ReadWorkbookParts(relsRoot);
  ReadContentTypes(calcChains);
  LoadSheet(*active);
}

// The workbook part, as the package relationships name it.
void Workbook::Impl::FindWorkbookPart() {
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
  base = DirectoryOf(workbookPart);
  for (std::size_t i = 0; i < zip->Count(); ++i) partNames.insert(Lower(zip->Name(i)));
  ParseXmlPart(workbookXml, zip->Read(*workbookEntry), file, workbookPart);
}

pugi::xml_node Workbook::Impl::ReadSheets() {
  pugi::xml_node root = workbookXml.document_element();
  if (LocalNameOf(root.name()) != "workbook")
    Fail("not a workbook", workbookPart + " is no workbook");
  std::vector<pugi::xml_node> sheetNodes = ChildrenNamed(ChildNamed(root, "sheets"), "sheet");
  if (sheetNodes.empty()) Fail("read workbook", "the workbook has no sheets");
  long activeTab = 0;
  if (pugi::xml_node view = ChildNamed(ChildNamed(root, "bookViews"), "workbookView")) {
    std::string_view text = view.attribute("activeTab").value();
    if (!text.empty()) {
      auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), activeTab);
      if (ec != std::errc() || ptr != text.data() + text.size()) activeTab = -1;
    }
  }
  if (activeTab < 0 || activeTab >= static_cast<long>(sheetNodes.size()))
    Fail("read workbook",
         "the active sheet (tab " + std::to_string(activeTab) + ") does not exist");

  workbookRelsPart = RelationshipsPartOf(workbookPart);
  auto relsEntry = Entry(workbookRelsPart);
  if (!relsEntry) Fail("not a workbook", "no " + workbookRelsPart);
  workbookRelsPart = zip->Name(*relsEntry);
  ParseXmlPart(relsXml, zip->Read(*relsEntry), file, workbookRelsPart);
  pugi::xml_node relsRoot = relsXml.document_element();

  // Every sheet, each worksheet read on first use.
  for (pugi::xml_node node : sheetNodes) {
    auto& sheet = *sheets.emplace_back(std::make_unique<SheetState>());
    sheet.name = node.attribute("name").value();
    std::string relId;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      std::string_view n = a.name();
      if (n.size() > 3 && n.substr(n.size() - 3) == ":id") relId = a.value();
    }
    pugi::xml_node sheetRel;
    for (pugi::xml_node rel : ChildrenNamed(relsRoot, "Relationship"))
      if (!relId.empty() && relId == rel.attribute("Id").value()) sheetRel = rel;
    if (!sheetRel) {
      sheet.problem = "has no part";
    } else if (TypeIs(sheetRel, "chartsheet")) {
      sheet.problem = "is a chart, not a worksheet";
    } else if (!TypeIs(sheetRel, "worksheet") || IsExternal(sheetRel)) {
      sheet.problem = "is not a worksheet";
    } else {
      sheet.part = ResolveTarget(base, sheetRel.attribute("Target").value());
      if (auto entry = Entry(sheet.part))
        sheet.part = zip->Name(*entry);
      else
        sheet.problem = "has its part " + sheet.part + " missing";
    }
  }
  active = sheets[static_cast<std::size_t>(activeTab)].get();
  if (!active->problem.empty())
    Fail("read workbook", "the active sheet \"" + active->name + "\" " + active->problem);
  return relsRoot;
}

std::vector<std::string> Workbook::Impl::ReadWorkbookParts(pugi::xml_node relsRoot) {
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
    partNames.insert(Lower(stylesPart));
  }
  if (!stylesRel) AddRelationship(relsRoot, "styles", stylesPart.substr(base.size()));
  return calcChains;
}

// Content types: kept in step with the parts.
void Workbook::Impl::ReadContentTypes(const std::vector<std::string>& calcChains) {
  auto typesEntry = Entry(kContentTypesPart);
  if (!typesEntry) Fail("not a workbook", std::string("no ") + kContentTypesPart);
  ParseXmlPart(typesXml, zip->Read(*typesEntry), file, kContentTypesPart);
  pugi::xml_node typesRoot = typesXml.document_element();
  bool stylesListed = false;
  for (pugi::xml_node over : ChildrenNamed(typesRoot, "Override")) {
    std::string_view partName = over.attribute("PartName").value();
    if (!partName.empty() && partName.front() == '/') partName.remove_prefix(1);
    std::string_view type = over.attribute("ContentType").value();
    bool isChain = false;
    for (const std::string& chain : calcChains) isChain = isChain || EqualNoCase(partName, chain);
    if (isChain) {
      typesRoot.remove_child(over);
      typesChanged = true;
    } else if (EqualNoCase(partName, stylesPart)) {
      stylesListed = true;
    } else if (EqualNoCase(partName, workbookPart) &&
               type.find("template.main+xml") != std::string_view::npos) {
      // A template (.xltx) saved as a workbook must say so, or Excel refuses it.
      over.attribute("ContentType") = kWorkbookContentType;
      typesChanged = true;
    } else if (type.ends_with("drawingml.chart+xml")) {
      if (auto entry = Entry(std::string(partName))) charts.push_back(zip->Name(*entry));
    }
  }
  if (!stylesListed)
    AddOverride(stylesPart, std::string(kOfficeContentType) + "spreadsheetml.styles+xml");
}

void Workbook::Impl::LoadSheet(SheetState& sheet, int lastRow) {
  const std::size_t index = *Entry(sheet.part);
  sheet.frame = SheetFrame{};
  sheet.store = SheetStore{};
  ReadSheet(
      [&](const std::function<void(std::string_view)>& piece) {
        zip->ReadChunksAhead(index, piece);
      },
      sharedStrings, file, sheet.part, sheet.frame, sheet.store, lastRow);
  sheet.loaded = true;
}

Workbook::SheetState* Workbook::Impl::Find(std::string_view name) const {
  for (const auto& sheet : sheets)
    if (EqualNoCase(sheet->name, name)) return sheet.get();
  return nullptr;
}

Workbook::SheetState& Workbook::Impl::Usable(SheetState& sheet, int lastRow) {
  if (!sheet.problem.empty())
    Fail("open sheet \"" + sheet.name + "\"", "the sheet \"" + sheet.name + "\" " + sheet.problem);
  const int head = sheet.frame.headRows;
  if (sheet.loaded && (head == 0 || (lastRow > 0 && lastRow <= head))) return sheet;
  // Not read yet, or read only down to a row above the one now wanted.
  if (sheet.loaded && sheet.changed)
    Fail("open sheet \"" + sheet.name + "\"",
         "only its first " + std::to_string(head) + " rows were read, and they have changed");
  LoadSheet(sheet, lastRow);
  return sheet;
}

std::string Workbook::Impl::NewPart(const std::string& stem, bool withRelationships) {
  for (int n = 1;; ++n) {
    const std::string part = base + stem + std::to_string(n) + ".xml";
    if (partNames.count(Lower(part)) ||
        (withRelationships && partNames.count(Lower(RelationshipsPartOf(part)))))
      continue;
    partNames.insert(Lower(part));
    if (withRelationships) partNames.insert(Lower(RelationshipsPartOf(part)));
    return part;
  }
}

std::string Workbook::Impl::AddRelationship(pugi::xml_node root, const char* type,
                                            const std::string& target) {
  std::set<std::string> ids;
  for (pugi::xml_node rel : ChildrenNamed(root, "Relationship"))
    ids.insert(rel.attribute("Id").value());
  int n = 1;
  while (ids.count("rId" + std::to_string(n))) ++n;
  const std::string id = "rId" + std::to_string(n);
  pugi::xml_node rel = root.append_child((PrefixOf(root) + "Relationship").c_str());
  rel.append_attribute("Id") = id.c_str();
  rel.append_attribute("Type") = (std::string(kRelationshipsNs) + "/" + type).c_str();
  rel.append_attribute("Target") = target.c_str();
  relsChanged = true;
  return id;
}

void Workbook::Impl::AddOverride(const std::string& part, const std::string& contentType) {
  pugi::xml_node root = typesXml.document_element();
  pugi::xml_node over = root.append_child((PrefixOf(root) + "Override").c_str());
  over.append_attribute("PartName") = ("/" + part).c_str();
  over.append_attribute("ContentType") = contentType.c_str();
  typesChanged = true;
}

Workbook::SheetState& Workbook::Impl::AddSheet(std::string_view name) {
  const std::string problem = SheetNameProblem(name);
  if (!problem.empty()) Fail("add sheet \"" + std::string(name) + "\"", problem);
  if (Find(name))
    Fail("add sheet \"" + std::string(name) + "\"",
         "the workbook has a sheet \"" + std::string(name) + "\" already");
  const std::string part = NewPart("worksheets/sheet", true);
  pugi::xml_node root = workbookXml.document_element();
  // The prefix the workbook binds to the relationships namespace.
  std::string r;
  for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
    std::string_view n = a.name(), v = a.value();
    if (n.substr(0, 6) == "xmlns:" && (v == kRelationshipsNs || v == kStrictRelationshipsNs))
      r = std::string(n.substr(6));
  }
  if (r.empty()) {
    r = "r";
    root.append_attribute("xmlns:r") = kRelationshipsNs;
  }
  long sheetId = 0;
  pugi::xml_node list = ChildNamed(root, "sheets");
  for (pugi::xml_node node : ChildrenNamed(list, "sheet"))
    sheetId = std::max(sheetId, std::strtol(node.attribute("sheetId").value(), nullptr, 10));
  pugi::xml_node node = list.append_child((PrefixOf(root) + "sheet").c_str());
  node.append_attribute("name") = std::string(name).c_str();
  node.append_attribute("sheetId") = std::to_string(sheetId + 1).c_str();
  node.append_attribute((r + ":id").c_str()) =
      AddRelationship(relsXml.document_element(), "worksheet", part.substr(base.size())).c_str();
  workbookChanged = true;
  AddOverride(part, std::string(kOfficeContentType) + "spreadsheetml.worksheet+xml");

  auto& sheet = *sheets.emplace_back(std::make_unique<SheetState>());
  sheet.name = std::string(name);
  sheet.part = part;
  sheet.loaded = sheet.changed = true;
  sheet.added = std::make_unique<AddedSheet>();
  return sheet;
}

void Workbook::Impl::RequireAdded(const SheetState& sheet, const char* operation) const {
  if (!sheet.added)
    Fail(operation,
         "the sheet \"" + sheet.name + "\" comes from the template, which keeps its own layout");
}

void Workbook::Impl::SetPrintTitles(const SheetState& sheet, int firstRow, int lastRow) {
  std::size_t index = 0;
  while (sheets[index].get() != &sheet) ++index;
  const std::string localId = std::to_string(index);
  pugi::xml_node root = workbookXml.document_element();
  pugi::xml_node names = ChildNamed(root, "definedNames");
  if (names) {
    for (pugi::xml_node n : ChildrenNamed(names, "definedName"))
      if (std::string_view(n.attribute("name").value()) == kPrintTitles &&
          localId == n.attribute("localSheetId").value())
        names.remove_child(n);
  }
  if (firstRow > 0) {
    if (!names) {
      pugi::xml_node after;
      for (const char* earlier : {"sheets", "functionGroups", "externalReferences"})
        if (pugi::xml_node n = ChildNamed(root, earlier)) after = n;
      names = root.insert_child_after((PrefixOf(root) + "definedNames").c_str(), after);
    }
    pugi::xml_node name = names.append_child((PrefixOf(root) + "definedName").c_str());
    name.append_attribute("name") = kPrintTitles;
    name.append_attribute("localSheetId") = localId.c_str();
    name.text() = RowsFormula(sheet.name, firstRow, lastRow).c_str();
  } else if (names && !names.first_child()) {
    root.remove_child(names);
  }
  workbookChanged = true;
}

void Workbook::Impl::CheckCell(const SheetState& sheet, int row, int column,
                               const char* verb) const {
  if (row < 1 || row > kMaxRows)
    Fail(Operation(sheet, verb, row, column),
         "row " + std::to_string(row) + " is outside 1.." + std::to_string(kMaxRows));
  if (sheet.frame.headRows > 0 && row > sheet.frame.headRows)
    Fail(Operation(sheet, verb, row, column),
         "only rows 1.." + std::to_string(sheet.frame.headRows) + " of the sheet were read");
  if (column < 1 || column > kMaxColumns)
    Fail(Operation(sheet, verb, row, column),
         "column " + std::to_string(column) + " is outside 1.." + std::to_string(kMaxColumns));
}

std::uint16_t Workbook::Impl::StyleOf(const SheetState& sheet, int row, int column) const {
  const Row* r = sheet.store.FindRow(row);
  if (r)
    if (const Cell* cell = SheetStore::FindCell(*r, column)) return cell->style;
  return NewCellStyle(sheet, r, column);
}

std::uint16_t Workbook::Impl::NewCellStyle(const SheetState& sheet, const Row* r, int column) {
  // A new cell looks like its row, else like its column.
  if (r && r->hasStyle) return r->style;
  for (const ColumnStyle& c : sheet.frame.columnStyles)
    if (column >= c.min && column <= c.max) return c.style;
  return 0;
}

Cell& Workbook::Impl::Ensure(SheetState& sheet, int row, int column) {
  sheet.changed = true;
  Row& r = sheet.store.GetRow(row);
  if (Cell* cell = SheetStore::FindCell(r, column)) return *cell;
  return SheetStore::GetCell(r, column, NewCellStyle(sheet, &r, column));
}

void Workbook::Impl::PutNumber(SheetState& sheet, int row, int column, double value,
                               const CellFormat* format, const CellStyleId* given) {
  CheckCell(sheet, row, column, "write");
  CheckFinite(sheet, row, column, value);
  // The style first: if the format is refused, no cell has been made.
  const std::uint16_t style = format ? Styled(sheet, row, column, *format) : given ? *given : 0;
  Cell& cell = Ensure(sheet, row, column);
  if (format || given) cell.style = style;
  cell.SetKind(CellKind::Number);
  cell.number = value;
}

void Workbook::Impl::PutText(SheetState& sheet, int row, int column, std::string_view text,
                             const CellFormat* format, const CellStyleId* given) {
  CheckCell(sheet, row, column, "write");
  std::string utf8 = ToUtf8(text);
  if (Utf16LengthOf(utf8) > static_cast<std::size_t>(kMaxTextLength))
    Fail(Operation(sheet, "write", row, column),
         "text longer than " + std::to_string(kMaxTextLength) + " characters");
  const std::uint16_t style = format ? Styled(sheet, row, column, *format) : given ? *given : 0;
  Cell& cell = Ensure(sheet, row, column);
  if (format || given) cell.style = style;
  sheet.store.SetText(cell, utf8);
  cell.SetKind(CellKind::Text);
}

void Workbook::Impl::WritePackage(const std::function<void(std::string_view)>& sink) const {
  ZipWriter writer(sink);
  auto writeContent = [&](const std::string& name, const std::string& content) {
    writer.Add(name, DeflateWhole(content));
  };
  // A long table of the program's own (compact rows), and a long sheet read
  // back whole and saved again (the report and its profile after the OK of
  // the RL input), are coded by the fast coder; the report as processing
  // writes it keeps zlib's smaller output. A build without threads (the
  // page's) has zlib code every chunk on its one thread, most of the time
  // a save takes: there every sheet goes through the fast coder.
  auto writeStreamed = [&](const std::string& name,
                           const std::function<void(const Sink&, Deflater&)>& fill,
                           bool longTable = false) {
    Deflater deflater(longTable || !kThreadsAvailable ? Deflater::kFast : 1);
    fill([&](std::string_view piece) { deflater.Write(piece); }, deflater);
    writer.Add(name, deflater.Finish());
  };
  const CacheSource changedCells = [&](std::string_view name) -> const SheetStore* {
    const SheetState* sheet = Find(name);
    // A sheet read only in part leaves the charts on it as they are.
    return sheet && sheet->loaded && sheet->changed && sheet->frame.headRows == 0 ? &sheet->store
                                                                                  : nullptr;
  };
  bool anyChanged = false;
  for (const auto& sheet : sheets) anyChanged = anyChanged || sheet->changed;

  // [Content_Types].xml first: tools that sniff the file type look there.
  auto typesEntry = zip->Find(kContentTypesPart);
  if (typesChanged)
    writeContent(zip->Name(*typesEntry), SerializeXml(typesXml));
  else
    writer.Add(zip->Name(*typesEntry), zip->ReadStored(*typesEntry));

  for (std::size_t i = 0; i < zip->Count(); ++i) {
    const std::string& name = zip->Name(i);
    if (i == *typesEntry || removed.count(name)) continue;
    const SheetState* sheet = nullptr;
    bool rewritten = false;  // an added sheet in place of a package entry
    for (const auto& s : sheets) {
      if (s->part != name) continue;
      rewritten = s->added != nullptr;
      if (!s->added && s->changed) sheet = s.get();
    }
    if (rewritten) continue;
    if (sheet && sheet->frame.headRows > 0 && !sheet->streamed.row) {
      // Read only in part (a few cells at the top of a long sheet): the
      // stored stream is taken over from a little below the rows read.
      Deflater deflater(1);
      std::optional<DeflateTail> tail;
      WriteSheet(
          sheet->frame, sheet->store, [&](std::string_view piece) { deflater.Write(piece); },
          nullptr,
          [&](const Sink& piece) { tail = zip->InflateUntilTail(i, sheet->frame.restAt, piece); });
      writer.Add(name, tail ? deflater.Finish(std::move(*tail)) : deflater.Finish());
    } else if (sheet) {
      writeStreamed(
          name,
          [&](const Sink& out, Deflater&) {
            WriteSheet(sheet->frame, sheet->store, out,
                       sheet->streamed.row ? &sheet->streamed : nullptr,
                       [&](const Sink& piece) { zip->ReadChunksAhead(i, piece); });
          },
          !sheet->streamed.row && sheet->store.rows.size() >= kLongSheetRows);
    } else if (name == stylesPart && styles.Changed()) {
      writeContent(name, styles.Serialize());
    } else if (name == workbookPart && workbookChanged) {
      writeContent(name, SerializeXml(workbookXml));
    } else if (name == workbookRelsPart && relsChanged) {
      writeContent(name, SerializeXml(relsXml));
    } else if (anyChanged && std::find(charts.begin(), charts.end(), name) != charts.end()) {
      Deflater deflater(1);
      const bool differed =
          RefreshChartCaches([&](const Sink& piece) { zip->ReadChunks(i, piece); }, changedCells,
                             file, name, [&](std::string_view piece) { deflater.Write(piece); });
      if (differed)
        writer.Add(name, deflater.Finish());
      else
        writer.Add(name, zip->ReadStored(i));
    } else {
      writer.Add(name, zip->ReadStored(i));
    }
  }

  // Sheets this program added, with their drawings and charts.
  for (const auto& sheet : sheets) {
    if (!sheet->added) continue;
    const AddedSheet& added = *sheet->added;
    writeStreamed(
        sheet->part,
        [&](const Sink& out, Deflater& deflater) {
          WriteSheet(AddedSheetFrame(added), sheet->store, out,
                     sheet->streamed.row ? &sheet->streamed : nullptr, {}, &deflater);
        },
        sheet->streamed.row && sheet->streamed.compact);
    if (added.charts.empty()) continue;
    const std::string pkg = kPackageRelationshipsNs, rel = kRelationshipsNs;
    writeContent(
        RelationshipsPartOf(sheet->part),
        kDeclaration + ("<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" +
                        rel + "/drawing\" Target=\"../drawings/" +
                        added.drawingPart.substr(DirectoryOf(added.drawingPart).size()) +
                        "\"/></Relationships>"));
    writeContent(added.drawingPart, DrawingXml(added.charts));
    std::string chartRels = kDeclaration + ("<Relationships xmlns=\"" + pkg + "\">");
    for (std::size_t c = 0; c < added.charts.size(); ++c)
      chartRels += "<Relationship Id=\"rId" + std::to_string(c + 1) + "\" Type=\"" + rel +
                   "/chart\" Target=\"../charts/" +
                   added.chartParts[c].substr(DirectoryOf(added.chartParts[c]).size()) + "\"/>";
    writeContent(RelationshipsPartOf(added.drawingPart), chartRels + "</Relationships>");
    for (std::size_t c = 0; c < added.charts.size(); ++c)
      writeStreamed(added.chartParts[c], [&](const Sink& out, Deflater&) {
        WriteChart(added.charts[c], sheet->name, sheet->store, out);
      });
  }
  if (stylesCreated) writeContent(stylesPart, styles.Serialize());
  writer.Finish();
}

Workbook::Workbook(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

namespace {

// The package's bytes, read straight into room for the size the file has
// when it is opened (grown should it have more): a string grown as it reads
// copies a large workbook several times and keeps up to twice its size.
std::string ReadPackageBytes(FileSystem& fs, const std::string& path) {
  constexpr std::size_t kLimit = std::size_t{1} << 30;  // as ReadWholeFile refuses
  auto in = fs.OpenForReading(path);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);  // a guess only
  std::string bytes(error || size >= kLimit ? std::size_t{1} << 20 : size + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(std::min(2 * bytes.size(), kLimit + 1));
    const std::size_t n = in->Read(bytes.data() + filled, bytes.size() - filled);
    if (n == 0) break;
    filled += n;
    if (filled > kLimit)
      throw Error(path, "read", "larger than " + std::to_string(kLimit) + " bytes");
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace

Workbook Workbook::Open(const std::string& path, FileSystem& fs) {
  return OpenFromBytes(ReadPackageBytes(fs, path), path);
}

Workbook Workbook::OpenFromBytes(std::string bytes, const std::string& name) {
  auto impl = std::make_unique<Impl>();
  impl->file = name;
  impl->zip = std::make_unique<ZipReader>(std::move(bytes), name);
  impl->Load();
  return Workbook(std::move(impl));
}

Workbook Workbook::CreateBlank() {
  return Create({"Sheet1"});
}

Workbook Workbook::Create(const std::vector<std::string>& sheetNames) {
  const std::string file = "new workbook";
  if (sheetNames.empty()) throw Error(file, "create workbook", "a workbook needs a sheet");
  for (const std::string& name : sheetNames)
    if (std::string problem = SheetNameProblem(name); !problem.empty())
      throw Error(file, "create workbook", problem + ": \"" + name + "\"");
  Workbook workbook = OpenFromBytes(NewPackage(sheetNames.front()), file);
  // The first sheet is the program's own, like those added after it.
  SheetState& first = *workbook.impl_->active;
  first.added = std::make_unique<AddedSheet>();
  first.added->selected = true;
  first.changed = true;
  for (std::size_t i = 1; i < sheetNames.size(); ++i) workbook.impl_->AddSheet(sheetNames[i]);
  return workbook;
}

std::vector<std::string> Workbook::SheetNames() const {
  std::vector<std::string> names;
  for (const auto& sheet : impl_->sheets) names.push_back(sheet->name);
  return names;
}

bool Workbook::HasSheet(std::string_view name) const {
  return impl_->Find(name) != nullptr;
}

Worksheet Workbook::Sheet(std::string_view name) {
  SheetState* sheet = impl_->Find(name);
  if (!sheet)
    impl_->Fail("open sheet \"" + std::string(name) + "\"",
                "the workbook has no sheet \"" + std::string(name) + "\"");
  return Worksheet(impl_.get(), &impl_->Usable(*sheet));
}

Worksheet Workbook::SheetHead(std::string_view name, int lastRow) {
  SheetState* sheet = impl_->Find(name);
  if (!sheet)
    impl_->Fail("open sheet \"" + std::string(name) + "\"",
                "the workbook has no sheet \"" + std::string(name) + "\"");
  if (lastRow < 1 || lastRow > kMaxRows)
    impl_->Fail("open sheet \"" + std::string(name) + "\"",
                "row " + std::to_string(lastRow) + " is outside 1.." + std::to_string(kMaxRows));
  return Worksheet(impl_.get(), &impl_->Usable(*sheet, lastRow));
}

Worksheet Workbook::ActiveSheet() {
  return Worksheet(impl_.get(), impl_->active);
}

Worksheet Workbook::AddSheet(std::string_view name) {
  return Worksheet(impl_.get(), &impl_->AddSheet(name));
}

void Workbook::OpenOn(std::string_view name) {
  Impl& book = *impl_;
  SheetState* target = book.Find(name);
  if (!target || !target->added || target == book.active) return;
  SheetState& before = *book.active;
  book.Usable(before);
  if (before.added) {
    before.added->selected = false;
  } else {
    constexpr std::string_view kSelected = " tabSelected=\"1\"";
    std::string& head = before.frame.head;
    if (const std::size_t at = head.find(kSelected); at != std::string::npos)
      head.erase(at, kSelected.size());
  }
  before.changed = true;
  target->added->selected = true;
  std::size_t index = 0;
  while (book.sheets[index].get() != target) ++index;
  pugi::xml_node root = book.workbookXml.document_element();
  pugi::xml_node views = ChildNamed(root, "bookViews");
  if (!views)
    views = root.insert_child_before((PrefixOf(root) + "bookViews").c_str(),
                                     ChildNamed(root, "sheets"));
  pugi::xml_node view = ChildNamed(views, "workbookView");
  if (!view) view = views.append_child((PrefixOf(root) + "workbookView").c_str());
  pugi::xml_attribute tab = view.attribute("activeTab");
  if (!tab) tab = view.append_attribute("activeTab");
  tab = std::to_string(index).c_str();
  book.workbookChanged = true;
  book.active = target;
}

CellValue Workbook::Get(int row, int column) const {
  return Worksheet(impl_.get(), impl_->active).Get(row, column);
}

void Workbook::SetNumber(int row, int column, double value) {
  impl_->PutNumber(*impl_->active, row, column, value, nullptr);
}

void Workbook::SetNumber(int row, int column, double value, std::string_view numberFormat) {
  const CellFormat format{numberFormat};
  impl_->PutNumber(*impl_->active, row, column, value, &format);
}

void Workbook::SetText(int row, int column, std::string_view text) {
  impl_->PutText(*impl_->active, row, column, text, nullptr);
}

void Workbook::Clear(int row, int column) {
  ActiveSheet().Clear(row, column);
}

void Workbook::Set(int row, int column, const CellValue& value) {
  ActiveSheet().Set(row, column, value);
}

int Workbook::LastRow() const {
  return Worksheet(impl_.get(), impl_->active).LastRow();
}

std::string Workbook::ActiveSheetName() const {
  return impl_->active->name;
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

const std::string& Worksheet::Name() const {
  return sheet_->name;
}

CellValue Worksheet::Get(int row, int column) const {
  book_->CheckCell(*sheet_, row, column, "read");
  const CellView cell = ViewCell(sheet_->store, row, column);
  switch (cell.kind) {
    case CellKind::Number:
      return CellValue::Number(cell.number);
    case CellKind::Text:
      return CellValue::Text(std::string(cell.text));
    default:
      return CellValue::Empty();
  }
}

void Worksheet::SetNumber(int row, int column, double value) {
  book_->PutNumber(*sheet_, row, column, value, nullptr);
}

void Worksheet::SetNumber(int row, int column, double value, std::string_view numberFormat) {
  const CellFormat format{numberFormat};
  book_->PutNumber(*sheet_, row, column, value, &format);
}

void Worksheet::SetNumber(int row, int column, double value, const CellFormat& format) {
  book_->PutNumber(*sheet_, row, column, value, &format);
}

void Worksheet::SetNumberWithStyle(int row, int column, double value, CellStyleId style) {
  book_->PutNumber(*sheet_, row, column, value, nullptr, &style);
}

void Worksheet::SetTextWithStyle(int row, int column, std::string_view text, CellStyleId style) {
  book_->PutText(*sheet_, row, column, text, nullptr, &style);
}

void Worksheet::SetText(int row, int column, std::string_view text) {
  book_->PutText(*sheet_, row, column, text, nullptr);
}

void Worksheet::SetText(int row, int column, std::string_view text, const CellFormat& format) {
  book_->PutText(*sheet_, row, column, text, &format);
}

void Worksheet::Clear(int row, int column) {
  book_->CheckCell(*sheet_, row, column, "clear");
  Row* r = sheet_->store.FindRow(row);
  Cell* cell = r ? SheetStore::FindCell(*r, column) : nullptr;
  if (!cell || cell->Kind() == CellKind::Empty) return;
  sheet_->changed = true;
  cell->SetKind(CellKind::Empty);
}

void Worksheet::Set(int row, int column, const CellValue& value) {
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

void Worksheet::SetFormat(int row, int column, const CellFormat& format) {
  book_->CheckCell(*sheet_, row, column, "format");
  const std::uint16_t style = book_->Styled(*sheet_, row, column, format);
  book_->Ensure(*sheet_, row, column).style = style;
}

void Worksheet::CopyFormat(int fromRow, int fromColumn, int row, int column) {
  book_->CheckCell(*sheet_, fromRow, fromColumn, "read");
  book_->CheckCell(*sheet_, row, column, "format");
  const std::uint16_t style = book_->StyleOf(*sheet_, fromRow, fromColumn);
  book_->Ensure(*sheet_, row, column).style = style;
}

int Worksheet::LastRow() const {
  const auto& rows = sheet_->store.rows;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    for (const Cell& cell : it->cells)
      if (cell.Kind() != CellKind::Empty) return static_cast<int>(it->number);
  return 0;
}

void Worksheet::SetColumns(int first, int last, double width, const CellFormat& format) {
  book_->RequireAdded(*sheet_, "set column widths");
  if (first < 1 || last < first || last > Workbook::kMaxColumns || !(width >= 0 && width <= 255))
    book_->Fail("set column widths", "columns " + std::to_string(first) + ".." +
                                         std::to_string(last) + " of width " +
                                         std::to_string(width) + " do not fit the sheet");
  const std::uint16_t style =
      IsPlain(format) ? 0 : book_->styles.WithFormat(0, format.numberFormat, FlagsOf(format));
  // The new range replaces what it covers of earlier ones.
  std::vector<ColumnLayout> columns;
  for (const ColumnLayout& c : sheet_->added->columns) {
    if (c.first < first)
      columns.push_back({c.first, std::min(c.last, first - 1), c.width, c.style});
    if (c.last > last) columns.push_back({std::max(c.first, last + 1), c.last, c.width, c.style});
  }
  columns.push_back({first, last, width, style});
  std::sort(columns.begin(), columns.end(),
            [](const ColumnLayout& a, const ColumnLayout& b) { return a.first < b.first; });
  sheet_->added->columns = columns;
  sheet_->frame.columnStyles.clear();
  for (const ColumnLayout& c : columns)
    if (c.style != 0) sheet_->frame.columnStyles.push_back({c.first, c.last, c.style});
  sheet_->changed = true;
}

void Worksheet::SetPageSetup(const PageSetup& page) {
  book_->RequireAdded(*sheet_, "set the page setup");
  const PageMargins& m = page.margins;
  bool usable = page.paperSize >= 1 && page.header.size() <= 255 && page.footer.size() <= 255;
  for (double v : {m.left, m.right, m.top, m.bottom, m.header, m.footer})
    usable = usable && v >= 0 && v < 50;
  if (page.firstTitleRow != 0 || page.lastTitleRow != 0)
    usable = usable && page.firstTitleRow >= 1 && page.lastTitleRow >= page.firstTitleRow &&
             page.lastTitleRow <= Workbook::kMaxRows;
  int previousBreak = 1;
  for (int row : page.rowBreaks) {
    usable = usable && row > previousBreak && row <= Workbook::kMaxRows;
    previousBreak = row;
  }
  if (!usable)
    book_->Fail("set the page setup",
                "the margins, paper, title rows, page breaks, header or footer are out of range");
  sheet_->added->page = page;
  sheet_->added->hasPage = true;
  sheet_->changed = true;
  book_->SetPrintTitles(*sheet_, page.firstTitleRow, page.lastTitleRow);
}

bool Worksheet::KeepsItsLayout() const {
  return !sheet_->added;
}

void Worksheet::MergeCells(int firstRow, int firstColumn, int lastRow, int lastColumn) {
  book_->RequireAdded(*sheet_, "merge cells");
  book_->CheckCell(*sheet_, firstRow, firstColumn, "merge");
  book_->CheckCell(*sheet_, lastRow, lastColumn, "merge");
  bool usable = firstRow <= lastRow && firstColumn <= lastColumn &&
                (firstRow < lastRow || firstColumn < lastColumn);
  xlsx::AddedSheet& added = *sheet_->added;
  const auto near = added.mergedByRow.upper_bound(lastRow);
  for (auto it = added.mergedByRow.lower_bound(firstRow - added.tallest); usable && it != near;
       ++it) {
    const xlsx::MergedArea& m = added.merged[it->second];
    usable = lastRow < m.firstRow || firstRow > m.lastRow || lastColumn < m.firstColumn ||
             firstColumn > m.lastColumn;
  }
  if (!usable)
    book_->Fail("merge cells", "the area is a single cell, reversed, or overlaps a merged one");
  added.mergedByRow.emplace(firstRow, added.merged.size());
  added.tallest = std::max(added.tallest, lastRow - firstRow);
  added.merged.push_back({firstRow, firstColumn, lastRow, lastColumn});
  sheet_->changed = true;
}

void Worksheet::StreamRows(int firstRow, int count, int lastColumn,
                           std::function<void(int row, RowWriter& writer)> row,
                           StreamedLayout layout) {
  if (sheet_->frame.headRows > 0)
    book_->Fail("stream rows", "the sheet \"" + sheet_->name + "\" was read only in part");
  if (firstRow <= LastRow() || count < 0 || firstRow < 1 ||
      firstRow + static_cast<long>(count) - 1 > Workbook::kMaxRows || lastColumn < 1 ||
      lastColumn > Workbook::kMaxColumns || !row)
    book_->Fail("stream rows", std::to_string(count) + " rows from row " +
                                   std::to_string(firstRow) + " do not fit below the sheet's rows");
  sheet_->streamed = {firstRow,       count,          lastColumn,
                      std::move(row), layout.compact, layout.concurrent};
  sheet_->changed = true;
}

CellStyleId Worksheet::StyleAt(int row, int column) const {
  book_->CheckCell(*sheet_, row, column, "read");
  return book_->StyleOf(*sheet_, row, column);
}

CellStyleId Worksheet::StyleFor(int column, const CellFormat& format) {
  book_->CheckCell(*sheet_, 1, column, "format");
  const std::uint16_t base = Workbook::Impl::NewCellStyle(*sheet_, nullptr, column);
  return book_->styles.WithFormat(base, format.numberFormat, FlagsOf(format));
}

void Worksheet::AddChart(const ScatterChart& chart) {
  book_->RequireAdded(*sheet_, "add a chart");
  auto row = [](int r) { return r >= 1 && r <= Workbook::kMaxRows; };
  auto column = [](int c) { return c >= 1 && c <= Workbook::kMaxColumns; };
  bool usable = row(chart.firstRow) && row(chart.lastRow) && chart.firstRow <= chart.lastRow &&
                column(chart.xColumn) && !chart.yColumns.empty() &&
                (chart.nameRow == 0 || row(chart.nameRow)) && row(chart.top) && row(chart.bottom) &&
                chart.top < chart.bottom && column(chart.left) && column(chart.right) &&
                chart.left < chart.right;
  for (int c : chart.yColumns) usable = usable && column(c);
  for (int c : chart.secondaryYColumns) usable = usable && column(c);
  if (!usable) book_->Fail("add a chart", "its rows, columns or place do not fit the sheet");
  AddedSheet& added = *sheet_->added;
  const std::string drawing = std::string(kOfficeContentType) + "drawing+xml";
  if (added.drawingPart.empty()) {
    added.drawingPart = book_->NewPart("drawings/drawing", true);
    book_->AddOverride(added.drawingPart, drawing);
  }
  added.chartParts.push_back(book_->NewPart("charts/chart", false));
  book_->AddOverride(added.chartParts.back(),
                     std::string(kOfficeContentType) + "drawingml.chart+xml");
  added.charts.push_back(chart);
  sheet_->changed = true;
}

}  // namespace vireo
