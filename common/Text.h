// Number and text conversions shared by every subsystem. None of them
// depends on the process locale.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vireo {

// The permissive number reader: never fails. Blanks, tabs and line feeds are
// skipped wherever they stand, "." is the decimal point, an exponent is
// accepted, reading stops at the first character that cannot continue the
// number; text without a leading number gives 0. A number too large for a
// double gives +-infinity, which callers that store numbers refuse.
double NumberFromText(std::string_view text);

// A complete number: after removing leading and trailing blanks the whole
// text is a finite decimal number ("1.23456", "-2", ".5", "1e3").
std::optional<double> StrictNumber(std::string_view text);

// Decimal text: up to 15 significant digits, "." as decimal point, no
// leading blank. NumberFromText reads it back.
std::string DecimalText(double value);

// The pattern "0.00000" (decimals = 5) or "0.00" (decimals = 2): at least
// one integer digit, exactly `decimals` decimals, rounded half away from
// zero on the double's exact value, "-" only when the shown value is not 0.
std::string FormatFixed(double value, int decimals);

// Text with leading and trailing blanks (spaces and tabs) removed.
std::string_view TrimBlanks(std::string_view text);

// Text for a message: every control byte (0x00-0x1F, 0x7F) as "\xHH", so
// that a NUL cannot end the message early nor a line break split it.
std::string EscapeControlBytes(std::string_view text);

// The UTF-8 byte-order mark, which some editors and spreadsheets ("CSV
// UTF-8") write at the start of a text file.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// `text` without one byte-order mark at its start.
std::string_view WithoutByteOrderMark(std::string_view text);

// Valid UTF-8 sequences are kept; every byte that does not start one is
// decoded as Windows-1252.
std::string ToUtf8(std::string_view bytes);

// Splits text into lines at CR LF, LF or a lone CR (line ends not kept).
// Calls `line(text, number)` with line numbers from 1. A line longer than
// the splitter's bound is not kept: it is handed out empty, with
// LineWasCut() true during that call, so endless input needs no memory.
class LineSplitter {
 public:
  static constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);
  explicit LineSplitter(std::size_t maxLength = kUnbounded) : maxLength_(maxLength) {}

  // Feed bytes as they arrive; complete lines are handed out at once.
  template <typename F>
  void Feed(std::string_view bytes, F&& line);
  // Hands out a last line that has no line end.
  template <typename F>
  void Finish(F&& line);
  bool LineWasCut() const { return cut_; }

 private:
  void Append(std::string_view bytes) {
    if (cut_) return;
    if (pending_.size() + bytes.size() > maxLength_) {
      cut_ = true;
      std::string().swap(pending_);
      return;
    }
    pending_.append(bytes);
  }
  template <typename F>
  void Hand(F&& line) {
    line(std::string_view(pending_), ++number_);
    pending_.clear();
    cut_ = false;
  }

  std::size_t maxLength_;
  std::string pending_;
  bool cut_ = false;
  bool lastWasCr_ = false;
  long number_ = 0;
};

template <typename F>
void LineSplitter::Feed(std::string_view bytes, F&& line) {
  if (bytes.empty()) return;
  std::size_t start = 0;
  if (lastWasCr_ && bytes.front() == '\n') start = 1;  // the LF of a CR LF pair
  lastWasCr_ = false;
  // Line ends are searched for with memchr: the next LF is remembered, so
  // that lone CRs (old Mac files) do not search the rest of the chunk again.
  const char* data = bytes.data();
  std::size_t lf = 0;
  bool lfKnown = false;
  for (std::size_t i = start; i < bytes.size(); ++i) {
    if (!lfKnown || lf < i) {
      const void* found = std::memchr(data + i, '\n', bytes.size() - i);
      lf = found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : bytes.size();
      lfKnown = true;
    }
    const void* cr = std::memchr(data + i, '\r', lf - i);
    i = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : lf;
    if (i == bytes.size()) break;
    const char c = bytes[i];
    const std::string_view piece = bytes.substr(start, i - start);
    if (pending_.empty() && !cut_) {
      // A whole line in this chunk: handed out where it lies.
      cut_ = piece.size() > maxLength_;
      line(cut_ ? std::string_view() : piece, ++number_);
      cut_ = false;
    } else {
      Append(piece);
      Hand(line);
    }
    if (c == '\r') {
      if (i + 1 == bytes.size())
        lastWasCr_ = true;
      else if (bytes[i + 1] == '\n')
        ++i;
    }
    start = i + 1;
  }
  Append(bytes.substr(start));
}

template <typename F>
void LineSplitter::Finish(F&& line) {
  if (!pending_.empty() || cut_) Hand(line);
}

}  // namespace vireo
