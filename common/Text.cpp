#include "common/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/CharConv.h"

namespace vireo {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Longest leading decimal number of `s` (no blanks inside), or empty.
std::string_view NumberPrefix(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return {};
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  return s.substr(0, i);
}

// 10^0 to 10^15, each exact as a double.
constexpr double kExactPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A plain decimal of at most 15 digits and no exponent, as the readings of
// a field file are: n / 10^k with n and 10^k exact doubles, so the one
// division rounds to the nearest double, the value from_chars gives.
std::optional<double> PlainDecimal(std::string_view number) {
  std::size_t i = 0;
  const bool negative = number[0] == '-';
  if (number[0] == '+' || negative) ++i;
  std::uint64_t digits = 0;
  int count = 0, decimals = -1;
  for (; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '.') {
      decimals = 0;
      continue;
    }
    if (!IsDigit(c) || ++count > 15) return std::nullopt;
    digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
    if (decimals >= 0) ++decimals;
  }
  const double value = static_cast<double>(digits) / kExactPowersOfTen[std::max(decimals, 0)];
  return negative ? -value : value;
}

double ParseNumber(std::string_view number) {
  if (const std::optional<double> plain = PlainDecimal(number)) return *plain;
  // Most other numbers from_chars reads as they stand.
  if (!number.empty() && number[0] != '+' && number[0] != '.' &&
      !(number[0] == '-' && number.size() > 1 && number[1] == '.')) {
    double value = 0.0;
    if (FromChars(number.data(), number.data() + number.size(), value).ec == std::errc{})
      return value;
  }
  // from_chars takes no leading "+" and no bare "." forms like "5." or ".5"
  // differently; normalise into a small buffer first.
  std::string text;
  text.reserve(number.size() + 2);
  std::size_t i = 0;
  bool negative = false;
  if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
  if (i < number.size() && number[i] == '.') text.push_back('0');
  text.append(number.substr(i));
  double value = 0.0;
  auto [ptr, ec] = FromChars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large gives infinity; too small gives 0.
    bool huge = false;
    auto e = text.find_first_of("eE");
    std::string_view mantissa(text.data(), e == std::string::npos ? text.size() : e);
    // The exponent may itself be too long for a long; only its sign and
    // size matter here, so it is capped far beyond any double's range.
    constexpr long kExponentCap = 1'000'000'000;
    long exponent = 0;
    if (e != std::string::npos) {
      const char* digits = text.data() + e + 1;
      const bool negativeExponent = *digits == '-';
      if (*digits == '+' || *digits == '-') ++digits;
      if (std::from_chars(digits, text.data() + text.size(), exponent).ec != std::errc{} ||
          exponent > kExponentCap)
        exponent = kExponentCap;
      if (negativeExponent) exponent = -exponent;
    }
    auto firstNonZero = mantissa.find_first_not_of("0.");
    if (firstNonZero != std::string_view::npos) {
      auto point = mantissa.find('.');
      long intDigits =
          static_cast<long>(point == std::string_view::npos ? mantissa.size() : point) -
          static_cast<long>(firstNonZero);
      huge = intDigits + exponent > 0;
    }
    value = huge ? HUGE_VAL : 0.0;
  }
  (void)ptr;
  return negative ? -value : value;
}

}  // namespace

double NumberFromText(std::string_view text) {
  std::string compact;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  if (std::any_of(text.begin(), text.end(), blank)) {
    compact.reserve(text.size());
    for (char c : text)
      if (!blank(c)) compact.push_back(c);
    text = compact;
  }
  std::string_view number = NumberPrefix(text);
  return number.empty() ? 0.0 : ParseNumber(number);
}

std::optional<double> StrictNumber(std::string_view text) {
  std::string_view trimmed = TrimBlanks(text);
  std::string_view number = NumberPrefix(trimmed);
  if (number.empty() || number.size() != trimmed.size()) return std::nullopt;
  double value = ParseNumber(number);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::string DecimalText(double value) {
  char buffer[64];
  auto result = ToChars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  if (text == "-0") text = "0";
  return text;
}

namespace {

// Exact fixed-point digits of |value| with `precision` decimals, correctly
// rounded at that position by to_chars.
std::string FixedDigits(double magnitude, int precision) {
  std::vector<char> buffer(static_cast<std::size_t>(precision) + 400);
  auto result = ToChars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                        std::chars_format::fixed, precision);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
  if (!std::isfinite(value))
    return std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
  const bool negative = std::signbit(value);
  const double magnitude = std::fabs(value);
  // Look a few digits beyond the last shown one. Only when those digits are
  // a 5 followed by zeros can the value lie on (or next to) an exact tie;
  // then use all of the double's digits, which are exact.
  std::string digits = FixedDigits(magnitude, decimals + 25);
  auto point = digits.find('.');
  std::string_view beyond(digits.data() + point + 1 + decimals, 25);
  if (beyond[0] == '5' && beyond.find_first_not_of('0', 1) == std::string_view::npos) {
    digits = FixedDigits(magnitude, 1100);
    point = digits.find('.');
  }
  const bool roundUp = digits[point + 1 + decimals] >= '5';
  std::string kept = digits.substr(0, point) + digits.substr(point + 1, decimals);
  if (roundUp) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i < 0)
      kept.insert(kept.begin(), '1');
    else
      ++kept[i];
  }
  std::string text = kept.substr(0, kept.size() - decimals);
  if (decimals > 0) text += "." + kept.substr(kept.size() - decimals);
  if (negative && kept.find_first_not_of('0') != std::string::npos) text.insert(text.begin(), '-');
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  // A plain loop: every field of every record passes here.
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t first = 0, last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string EscapeControlBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out += c;
      continue;
    }
    out += "\\x";
    out += "0123456789abcdef"[byte >> 4];
    out += "0123456789abcdef"[byte & 15];
  }
  return out;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  return text;
}

namespace {

// Windows-1252 bytes 0x80-0x9F; the five undefined ones map to the C1
// control of the same number.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t ValidSequence(std::string_view s, std::size_t i) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  std::size_t n;
  char32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  return n;
}

}  // namespace

std::string ToUtf8(std::string_view bytes) {
  // Most text is ASCII: it is taken as it stands up to the first byte that
  // is not.
  std::size_t i = 0;
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  std::string out(bytes.substr(0, i));
  if (i == bytes.size()) return out;
  out.reserve(bytes.size() + 16);
  while (i < bytes.size()) {
    std::size_t n = ValidSequence(bytes, i);
    if (n > 0) {
      out.append(bytes.substr(i, n));
      i += n;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(bytes[i++]);
    AppendUtf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}

}  // namespace vireo
