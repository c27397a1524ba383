#include "common/Warning.h"

namespace vireo {
namespace {

// A kind is told by the start of its message; a message may quote a long
// line, which need not be kept as a key.
constexpr std::size_t kKindKeyBytes = 160;

}  // namespace

std::string WarningKind(std::string_view message) {
  std::string kind;
  kind.reserve(std::min(message.size(), kKindKeyBytes));
  bool quoted = false;
  for (char c : message) {
    if (kind.size() >= kKindKeyBytes) break;
    if (c == '"') {
      quoted = !quoted;
      if (quoted) kind += "\"\"";
      continue;
    }
    if (!quoted && !(c >= '0' && c <= '9')) kind += c;
  }
  return kind;
}

std::string MoreOfKindText(std::size_t more, long firstLine, long lastLine,
                           const std::string& example) {
  std::string text =
      "and " + std::to_string(more) + " more of " + (example.empty() ? "other kinds" : "this kind");
  if (firstLine > 0 && lastLine > firstLine)
    text += ", lines " + std::to_string(firstLine) + " to " + std::to_string(lastLine);
  else if (firstLine > 0)
    text += ", line " + std::to_string(firstLine);
  if (!example.empty()) text += ": " + example;
  return text;
}

}  // namespace vireo
