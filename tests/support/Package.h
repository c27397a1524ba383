// The parts of an .xlsx package, read and built through the workbook
// component's own zip layer, for looking into saved workbooks and for
// making templates another program might have written.
#pragma once

#include <initializer_list>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "output/internal/Zip.h"

namespace vireo::testing {

using Parts = std::vector<std::pair<std::string, std::string>>;

// Every part in stored order: inflated, or exactly as stored.
inline Parts PartsOf(const std::string& package, bool stored = false) {
  xlsx::ZipReader zip(package, "package");
  Parts parts;
  for (std::size_t i = 0; i < zip.Count(); ++i)
    parts.emplace_back(zip.Name(i), stored ? zip.ReadStored(i).data : zip.Read(i));
  return parts;
}

// One part; empty when the package has none of that name.
inline std::string PartOf(const std::string& package, const std::string& name,
                          bool stored = false) {
  for (auto& [n, content] : PartsOf(package, stored))
    if (n == name) return content;
  return "";
}

// Replaces a part, adds it at the end when it is new, or removes it when
// `content` is empty.
inline void SetPart(Parts& parts, const std::string& name, const std::string& content) {
  for (auto it = parts.begin(); it != parts.end(); ++it)
    if (it->first == name) {
      if (content.empty())
        parts.erase(it);
      else
        it->second = content;
      return;
    }
  if (!content.empty()) parts.emplace_back(name, content);
}

// Replaces the first `from` in a part by `to`.
inline void EditPart(Parts& parts, const std::string& name, const std::string& from,
                     const std::string& to) {
  for (auto& [n, content] : parts)
    if (n == name && content.find(from) != std::string::npos)
      content.replace(content.find(from), from.size(), to);
}

// The cell format (the <xf> element of the styles' cellXfs) that cell `ref`
// of the sheet part `sheet` uses; empty when the cell has none.
inline std::string CellFormatXml(const std::string& package, const std::string& sheet,
                                 const std::string& ref) {
  std::smatch m;
  const std::string cells = PartOf(package, sheet);
  if (!std::regex_search(cells, m, std::regex("<c r=\"" + ref + "\" s=\"(\\d+)\""))) return "";
  const std::string styles = PartOf(package, "xl/styles.xml");
  const std::string xfs = styles.substr(styles.find("<cellXfs"));
  const std::regex xf("<xf [^>]*?(/>|>.*?</xf>)");
  auto it = std::sregex_iterator(xfs.begin(), xfs.end(), xf);
  for (unsigned long i = std::stoul(m[1]); i > 0 && it != std::sregex_iterator(); --i) ++it;
  return it == std::sregex_iterator() ? "" : it->str();
}

// The texts among `wanted` that `text` does not hold, a line each: empty
// when it holds them all.
inline std::string Missing(const std::string& text, std::initializer_list<std::string> wanted) {
  std::string missing;
  for (const std::string& w : wanted)
    if (text.find(w) == std::string::npos) missing += w + "\n";
  return missing;
}

}  // namespace vireo::testing
