#include "common/Warning.h"

namespace vireo {
namespace {

// A kind is told by the start of its message; a message may quote a long
// line, which need not be kept as a key.
constexpr std::size_t kKindKeyBytes = 160;

// Hands the characters of a message's kind to `take`, in order.
template <typename Take>
void KindCharacters(std::string_view message, Take&& take) {
  std::size_t taken = 0;
  bool quoted = false;
  for (char c : message) {
    if (taken >= kKindKeyBytes) break;
    if (c == '"') {
      quoted = !quoted;
      if (quoted) take('"'), take('"'), taken += 2;
      continue;
    }
    if (!quoted && !(c >= '0' && c <= '9')) take(c), ++taken;
  }
}

}  // namespace

std::uint64_t WarningKindKey(std::string_view message) {
  // FNV-1a: among the few dozen kinds of a run, two that differ share a
  // key with a chance of about 1 in 10^16.
  std::uint64_t hash = 0xcbf29ce484222325u;
  KindCharacters(message,
                 [&](char c) { hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u; });
  return hash == kOtherKindsKey ? 1 : hash;
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
