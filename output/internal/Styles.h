// The workbook's styles part: number formats, fonts, fills, borders and cell
// formats (xfs) added for cells written with a format. Existing entries are
// never renumbered; new ones are appended and reused.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

namespace vireo::xlsx {

// The stylesheet a new package gets: one font, the two fills Excel expects,
// one border, one cell format.
std::string DefaultStylesXml();

// What a format adds to a cell's look, besides its number format.
enum StyleFlag : unsigned {
  kBold = 1,       // bold font
  kRedFill = 2,    // solid light-red fill
  kRuleBelow = 4,  // thin bottom border
  kAlignLeft = 8,
  kAlignRight = 16,
  kAlignCenter = 32,
};
// The indent of an aligned cell (0..15 steps), kept in the flags above the
// looks.
inline constexpr unsigned kIndentShift = 6;
constexpr unsigned IndentFlags(int steps) {
  return static_cast<unsigned>(steps < 0 ? 0 : steps > 15 ? 15 : steps) << kIndentShift;
}

class Styles {
 public:
  // Throws Error(file, ...) for broken XML.
  void Load(std::string_view xml, const std::string& file, const std::string& part);
  std::size_t CellFormatCount() const;
  // The cell format that is `style` with its number format set to `format`.
  // Throws Error(file, ...) when the format text is unusable or too many
  // formats would result.
  std::uint16_t WithNumberFormat(std::uint16_t style, std::string_view format) {
    return WithFormat(style, format, 0);
  }
  // The cell format that is `style` with the number format `format` (none
  // when empty) and the looks of `flags` (StyleFlag) added.
  std::uint16_t WithFormat(std::uint16_t style, std::string_view format, unsigned flags);
  bool Changed() const { return changed_; }
  std::string Serialize() const;

 private:
  pugi::xml_node Child(pugi::xml_node parent, std::string_view local) const;
  pugi::xml_node EnsureChild(std::string_view local, std::initializer_list<std::string_view> after);
  int NumberFormatId(std::string_view format);
  std::uint16_t LookUp(std::uint16_t style, std::string_view format, unsigned flags);
  // Index of an entry equal to `wanted` among `list`'s children, appended
  // when there is none.
  int FindOrAppend(pugi::xml_node list, pugi::xml_node wanted);
  int BoldFont(int fontId);
  int RedFill();
  int BorderWithRuleBelow(int borderId);

  pugi::xml_document doc_;
  pugi::xml_node root_;
  std::string prefix_;
  std::string file_;
  bool changed_ = false;
  // Reports write row after row with the same few formats: the last answers
  // are kept in a small ring before the map is asked.
  struct Recent {
    std::uint16_t style = 0, result = 0;
    unsigned flags = ~0u;  // no entry
    std::string format;
  };
  std::array<Recent, 8> recent_;
  std::size_t nextRecent_ = 0;
  std::map<std::tuple<std::uint16_t, unsigned, std::string>, std::uint16_t> cache_;
};

// Parses a small part; throws Error naming the part and line for broken XML.
void ParseXmlPart(pugi::xml_document& doc, std::string_view xml, const std::string& file,
                  const std::string& part, unsigned options = pugi::parse_default);
// Serializes a small part without reformatting it.
std::string SerializeXml(const pugi::xml_document& doc);
std::string_view LocalNameOf(const char* name);

}  // namespace vireo::xlsx
