#include "output/internal/Styles.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "common/Error.h"

namespace vireo::xlsx {
namespace {

constexpr std::size_t kMaxCellFormats = 65490;  // Excel's limit
constexpr int kFirstCustomFormat = 164;         // 0..163 are built in

// The built-in number formats Excel knows by id.
struct BuiltIn {
  int id;
  const char* code;
};
constexpr BuiltIn kBuiltIns[] = {{0, "General"}, {1, "0"},         {2, "0.00"},
                                 {3, "#,##0"},   {4, "#,##0.00"},  {9, "0%"},
                                 {10, "0.00%"},  {11, "0.00E+00"}, {49, "@"}};

int ParseInt(const char* text, int fallback) {
  int value = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, value);
  return ec == std::errc() && ptr == end ? value : fallback;
}

std::string IntText(long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// A format text that can stand in an XML attribute: valid UTF-8 (callers
// pass the program's own constants), no control characters.
bool UsableFormat(std::string_view format) {
  if (format.empty() || format.size() > 255) return false;
  for (char c : format)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

std::string_view LocalNameOf(const char* name) {
  std::string_view n(name);
  auto colon = n.rfind(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

void ParseXmlPart(pugi::xml_document& doc, std::string_view xml, const std::string& file,
                  const std::string& part, unsigned options) {
  pugi::xml_parse_result result =
      doc.load_buffer(xml.data(), xml.size(), options | pugi::parse_declaration);
  if (!result) {
    const auto offset = std::min<std::size_t>(
        static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)), xml.size());
    const auto line =
        1 + std::count(xml.begin(), xml.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
    throw Error(
        file, "read workbook",
        "broken XML in " + part + " at line " + std::to_string(line) + ": " + result.description());
  }
  if (!doc.document_element())
    throw Error(file, "read workbook", "broken XML in " + part + ": no root element");
}

std::string SerializeXml(const pugi::xml_document& doc) {
  StringWriter writer;
  unsigned flags = pugi::format_raw;
  bool hasDeclaration = doc.first_child().type() == pugi::node_declaration;
  if (!hasDeclaration) {
    writer.text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    flags |= pugi::format_no_declaration;
  }
  doc.save(writer, "", flags, pugi::encoding_utf8);
  return writer.text;
}

std::string DefaultStylesXml() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/>"
         "<family val=\"2\"/><scheme val=\"minor\"/></font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
         "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
         "</cellStyleXfs>"
         "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
         "xfId=\"0\"/></cellXfs>"
         "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
         "</cellStyles><dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";
}

void Styles::Load(std::string_view xml, const std::string& file, const std::string& part) {
  file_ = file;
  ParseXmlPart(doc_, xml, file, part);
  root_ = doc_.document_element();
  if (LocalNameOf(root_.name()) != "styleSheet")
    throw Error(file, "read workbook", part + " is not a stylesheet");
  std::string_view name(root_.name());
  prefix_ = std::string(name.substr(0, name.size() - LocalNameOf(root_.name()).size()));
}

pugi::xml_node Styles::Child(pugi::xml_node parent, std::string_view local) const {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element && LocalNameOf(n.name()) == local) return n;
  return {};
}

// The stylesheet's child `local`, created in its place in the child order
// when missing: after the last present one of `after`.
pugi::xml_node Styles::EnsureChild(std::string_view local,
                                   std::initializer_list<std::string_view> after) {
  if (pugi::xml_node found = Child(root_, local)) return found;
  pugi::xml_node previous;
  for (std::string_view name : after)
    if (pugi::xml_node n = Child(root_, name)) previous = n;
  const std::string qname = prefix_ + std::string(local);
  pugi::xml_node created = previous ? root_.insert_child_after(qname.c_str(), previous)
                                    : root_.prepend_child(qname.c_str());
  created.append_attribute("count") = "0";
  return created;
}

std::size_t Styles::CellFormatCount() const {
  std::size_t count = 0;
  if (pugi::xml_node xfs = Child(root_, "cellXfs"))
    for (pugi::xml_node n = xfs.first_child(); n; n = n.next_sibling())
      if (n.type() == pugi::node_element) ++count;
  return count;
}

int Styles::NumberFormatId(std::string_view format) {
  for (const BuiltIn& b : kBuiltIns)
    if (format == b.code) return b.id;
  pugi::xml_node numFmts = Child(root_, "numFmts");
  int highest = kFirstCustomFormat - 1;
  if (numFmts) {
    for (pugi::xml_node n = numFmts.first_child(); n; n = n.next_sibling()) {
      if (n.type() != pugi::node_element) continue;
      int id = ParseInt(n.attribute("numFmtId").value(), -1);
      if (format == n.attribute("formatCode").value() && id >= 0) return id;
      highest = std::max(highest, id);
    }
  }
  numFmts = EnsureChild("numFmts", {});
  const int id = highest + 1;
  pugi::xml_node added = numFmts.append_child((prefix_ + "numFmt").c_str());
  added.append_attribute("numFmtId") = IntText(id).c_str();
  added.append_attribute("formatCode") = std::string(format).c_str();
  int count = 0;
  for (pugi::xml_node n = numFmts.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element) ++count;
  if (!numFmts.attribute("count")) numFmts.append_attribute("count");
  numFmts.attribute("count") = IntText(count).c_str();
  changed_ = true;
  return id;
}

std::uint16_t Styles::WithFormat(std::uint16_t style, std::string_view format, unsigned flags) {
  for (const Recent& r : recent_)
    if (r.flags == flags && r.style == style && r.format == format) return r.result;
  const std::uint16_t result = LookUp(style, format, flags);
  Recent& slot = recent_[nextRecent_];
  nextRecent_ = (nextRecent_ + 1) % recent_.size();
  slot.style = style;
  slot.flags = flags;
  slot.format.assign(format);
  slot.result = result;
  return result;
}

namespace {

std::vector<pugi::xml_node> Elements(pugi::xml_node parent) {
  std::vector<pugi::xml_node> nodes;
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element) nodes.push_back(n);
  return nodes;
}

std::string Printed(pugi::xml_node node) {
  StringWriter text;
  node.print(text, "", pugi::format_raw);
  return text.text;
}

void SetAttribute(pugi::xml_node node, const char* name, const std::string& value) {
  if (!node.attribute(name)) node.append_attribute(name);
  node.attribute(name) = value.c_str();
}

// A child element by local name.
pugi::xml_node ChildOf(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element && LocalNameOf(n.name()) == local) return n;
  return {};
}

}  // namespace

int Styles::FindOrAppend(pugi::xml_node list, pugi::xml_node wanted) {
  const std::vector<pugi::xml_node> entries = Elements(list);
  const std::string text = Printed(wanted);
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (Printed(entries[i]) == text) return static_cast<int>(i);
  list.append_copy(wanted);
  SetAttribute(list, "count", IntText(static_cast<long long>(entries.size() + 1)));
  changed_ = true;
  return static_cast<int>(entries.size());
}

int Styles::BoldFont(int fontId) {
  pugi::xml_node fonts = EnsureChild("fonts", {"numFmts"});
  const std::vector<pugi::xml_node> list = Elements(fonts);
  pugi::xml_document scratch;
  pugi::xml_node font = fontId >= 0 && static_cast<std::size_t>(fontId) < list.size()
                            ? scratch.append_copy(list[static_cast<std::size_t>(fontId)])
                            : scratch.append_child((prefix_ + "font").c_str());
  if (pugi::xml_node b = ChildOf(font, "b")) {
    std::string_view val = b.attribute("val").value();
    if (val.empty() || val == "1" || val == "true") return fontId;
    font.remove_child(b);
  }
  font.prepend_child((prefix_ + "b").c_str());
  return FindOrAppend(fonts, font);
}

int Styles::RedFill() {
  pugi::xml_node fills = EnsureChild("fills", {"numFmts", "fonts"});
  // Excel takes the first two fills as "none" and "gray125" whatever they
  // say, so a new fill must stand after them.
  for (const char* pattern : {"none", "gray125"}) {
    if (Elements(fills).size() >= 2) break;
    pugi::xml_document filler;
    pugi::xml_node fill = filler.append_child((prefix_ + "fill").c_str());
    fill.append_child((prefix_ + "patternFill").c_str()).append_attribute("patternType") = pattern;
    fills.append_copy(fill);
    SetAttribute(fills, "count", IntText(static_cast<long long>(Elements(fills).size())));
    changed_ = true;
  }
  pugi::xml_document scratch;
  pugi::xml_node pattern = scratch.append_child((prefix_ + "fill").c_str())
                               .append_child((prefix_ + "patternFill").c_str());
  pattern.append_attribute("patternType") = "solid";
  pattern.append_child((prefix_ + "fgColor").c_str()).append_attribute("rgb") = "FFFF8080";
  pattern.append_child((prefix_ + "bgColor").c_str()).append_attribute("indexed") = "64";
  return FindOrAppend(fills, scratch.first_child());
}

int Styles::BorderWithRuleBelow(int borderId) {
  pugi::xml_node borders = EnsureChild("borders", {"numFmts", "fonts", "fills"});
  const std::vector<pugi::xml_node> list = Elements(borders);
  pugi::xml_document scratch;
  pugi::xml_node border;
  if (borderId >= 0 && static_cast<std::size_t>(borderId) < list.size()) {
    border = scratch.append_copy(list[static_cast<std::size_t>(borderId)]);
  } else {
    border = scratch.append_child((prefix_ + "border").c_str());
    for (const char* side : {"left", "right", "top", "bottom", "diagonal"})
      border.append_child((prefix_ + side).c_str());
  }
  pugi::xml_node bottom = ChildOf(border, "bottom");
  if (bottom) {
    std::string_view style = bottom.attribute("style").value();
    if (!style.empty() && style != "none") return borderId;  // it has a rule already
    border.remove_child(bottom);
  }
  // The sides stand in the order start, end, left, right, top, bottom,
  // diagonal, vertical, horizontal.
  pugi::xml_node next;
  for (const char* later : {"horizontal", "vertical", "diagonal"})
    if (pugi::xml_node n = ChildOf(border, later)) next = n;
  bottom = next ? border.insert_child_before((prefix_ + "bottom").c_str(), next)
                : border.append_child((prefix_ + "bottom").c_str());
  bottom.append_attribute("style") = "thin";
  bottom.append_child((prefix_ + "color").c_str()).append_attribute("auto") = "1";
  return FindOrAppend(borders, border);
}

std::uint16_t Styles::LookUp(std::uint16_t style, std::string_view format, unsigned flags) {
  const auto key = std::make_tuple(style, flags, std::string(format));
  if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  if (!format.empty() && !UsableFormat(format))
    throw Error(file_, "set number format", "unusable format \"" + std::string(format) + "\"");

  pugi::xml_node cellXfs =
      EnsureChild("cellXfs", {"numFmts", "fonts", "fills", "borders", "cellStyleXfs"});
  std::vector<pugi::xml_node> xfs = Elements(cellXfs);

  // The wanted format: the cell's current one with the new parts.
  pugi::xml_document scratch;
  pugi::xml_node wanted;
  if (style < xfs.size()) {
    wanted = scratch.append_copy(xfs[style]);
  } else {
    wanted = scratch.append_child((prefix_ + "xf").c_str());
    for (const char* a : {"numFmtId", "fontId", "fillId", "borderId", "xfId"})
      wanted.append_attribute(a) = "0";
  }
  const auto id = [&](const char* name) { return ParseInt(wanted.attribute(name).value(), 0); };
  bool same = true;
  // Sets attribute `name` to `value` with its apply flag.
  const auto put = [&](const char* name, int value, const char* apply) {
    if (id(name) == value && wanted.attribute(name)) return;
    same = false;
    if (!wanted.attribute(name)) wanted.prepend_attribute(name);
    wanted.attribute(name) = IntText(value).c_str();
    SetAttribute(wanted, apply, "1");
  };
  if (!format.empty()) put("numFmtId", NumberFormatId(format), "applyNumberFormat");
  if (flags & kBold) put("fontId", BoldFont(id("fontId")), "applyFont");
  if (flags & kRedFill) put("fillId", RedFill(), "applyFill");
  if (flags & kRuleBelow) put("borderId", BorderWithRuleBelow(id("borderId")), "applyBorder");
  if (const char* horizontal = (flags & kAlignLeft)     ? "left"
                               : (flags & kAlignRight)  ? "right"
                               : (flags & kAlignCenter) ? "center"
                                                        : nullptr) {
    // The alignment element replaces the cell's own horizontal alignment
    // and indent; its other settings (wrapping, vertical) stay.
    pugi::xml_node alignment = ChildOf(wanted, "alignment");
    if (!alignment) alignment = wanted.prepend_child((prefix_ + "alignment").c_str());
    const std::string before = Printed(alignment);
    SetAttribute(alignment, "horizontal", horizontal);
    const unsigned indent = flags >> kIndentShift;
    if (indent > 0)
      SetAttribute(alignment, "indent", IntText(indent));
    else
      alignment.remove_attribute("indent");
    if (Printed(alignment) != before || !wanted.attribute("applyAlignment")) {
      same = false;
      SetAttribute(wanted, "applyAlignment", "1");
    }
  }

  std::uint16_t result = style;
  if (!same || style >= xfs.size()) {
    const std::string wantedText = Printed(wanted);
    std::size_t found = xfs.size();
    for (std::size_t i = 0; i < xfs.size() && found == xfs.size(); ++i)
      if (Printed(xfs[i]) == wantedText) found = i;
    if (found == xfs.size()) {
      if (xfs.size() >= kMaxCellFormats)
        throw Error(file_, "set cell format", "the workbook has too many cell formats");
      cellXfs.append_copy(wanted);
      SetAttribute(cellXfs, "count", IntText(static_cast<long long>(xfs.size() + 1)));
      changed_ = true;
    }
    result = static_cast<std::uint16_t>(found);
  }
  cache_.emplace(key, result);
  return result;
}

std::string Styles::Serialize() const {
  return SerializeXml(doc_);
}

}  // namespace vireo::xlsx
