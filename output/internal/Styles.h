// The workbook's styles part: number formats and cell formats (xfs) added
// for numbers written with a format. Existing entries are never renumbered;
// new ones are appended.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>

namespace vireo::xlsx {

// The stylesheet a new package gets: one font, the two fills Excel expects,
// one border, one cell format.
std::string DefaultStylesXml();

class Styles {
 public:
  // Throws Error(file, ...) for broken XML.
  void Load(std::string_view xml, const std::string& file, const std::string& part);
  std::size_t CellFormatCount() const;
  // The cell format that is `style` with its number format set to `format`.
  // Throws Error(file, ...) when the format text is unusable or too many
  // formats would result.
  std::uint16_t WithNumberFormat(std::uint16_t style, std::string_view format);
  bool Changed() const { return changed_; }
  std::string Serialize() const;

 private:
  pugi::xml_node Child(pugi::xml_node parent, std::string_view local) const;
  pugi::xml_node EnsureChild(std::string_view local, std::initializer_list<std::string_view> after);
  int NumberFormatId(std::string_view format);
  std::uint16_t LookUp(std::uint16_t style, std::string_view format);

  pugi::xml_document doc_;
  pugi::xml_node root_;
  std::string prefix_;
  std::string file_;
  bool changed_ = false;
  bool lastHit_ = false;
  std::uint16_t lastStyle_ = 0, lastResult_ = 0;
  std::string lastFormat_;
  std::map<std::pair<std::uint16_t, std::string>, std::uint16_t, std::less<>> cache_;
};

// Parses a small part; throws Error naming the part and line for broken XML.
void ParseXmlPart(pugi::xml_document& doc, std::string_view xml, const std::string& file,
                  const std::string& part, unsigned options = pugi::parse_default);
// Serializes a small part without reformatting it.
std::string SerializeXml(const pugi::xml_document& doc);
std::string_view LocalNameOf(const char* name);

}  // namespace vireo::xlsx
