// The floating-point conversions of CharConv.h for the WebAssembly build:
// fmt finds the shortest digits, fast_float reads, and the C library's
// printf (exact there) writes a given precision.
#include "common/CharConv.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#define FMT_HEADER_ONLY
#include <fmt/format.h>

namespace vireo {
namespace {

std::to_chars_result Put(char* first, char* last, const std::string& text) {
  if (static_cast<std::size_t>(last - first) < text.size())
    return {last, std::errc::value_too_large};
  std::memcpy(first, text.data(), text.size());
  return {first + text.size(), std::errc{}};
}

// The shortest digits of |value| (no leading or trailing zeros) and the
// place of the decimal point: |value| = 0.digits * 10^point.
void ShortestDigits(double magnitude, std::string& digits, int& point) {
  const std::string text = fmt::format("{}", magnitude);
  const std::size_t e = text.find_first_of("eE");
  const std::string mantissa = text.substr(0, e);
  const int exponent = e == std::string::npos ? 0 : std::stoi(text.substr(e + 1));
  const std::size_t dot = mantissa.find('.');
  point = static_cast<int>(dot == std::string::npos ? mantissa.size() : dot) + exponent;
  digits.clear();
  for (char c : mantissa)
    if (c != '.') digits.push_back(c);
  while (!digits.empty() && digits.front() == '0') {
    digits.erase(digits.begin());
    --point;
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
}

}  // namespace

std::to_chars_result ShortestDoubleChars(char* first, char* last, double value) {
  const std::string sign = std::signbit(value) ? "-" : "";
  if (std::isnan(value)) return Put(first, last, sign + "nan");
  if (std::isinf(value)) return Put(first, last, sign + "inf");
  if (value == 0) return Put(first, last, sign + "0");
  std::string digits;
  int point = 0;
  ShortestDigits(std::fabs(value), digits, point);
  const int count = static_cast<int>(digits.size());
  std::string fixed;
  if (point <= 0)
    fixed = "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
  else if (point >= count)
    fixed = digits + std::string(static_cast<std::size_t>(point - count), '0');
  else
    fixed = digits.substr(0, point) + "." + digits.substr(point);
  const int exponent = point - 1;
  std::string scientific = digits.substr(0, 1);
  if (count > 1) scientific += "." + digits.substr(1);
  scientific += fmt::format("e{}{:02}", exponent < 0 ? '-' : '+', std::abs(exponent));
  return Put(first, last, sign + (fixed.size() <= scientific.size() ? fixed : scientific));
}

std::to_chars_result DoubleChars(char* first, char* last, double value, std::chars_format format,
                                 int precision) {
  const char* pattern = format == std::chars_format::fixed        ? "%.*f"
                        : format == std::chars_format::scientific ? "%.*e"
                                                                  : "%.*g";
  const int needed = std::snprintf(nullptr, 0, pattern, precision, value);
  std::string text(static_cast<std::size_t>(needed) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, precision, value);
  text.pop_back();
  return Put(first, last, text);
}

std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value) {
  double read = 0;
  const auto result = fast_float::from_chars(first, last, read);
  if (result.ec != std::errc{}) return {result.ptr, result.ec};
  // A number beyond a double's range is out of range, as for from_chars,
  // rather than infinity or zero.
  const char* mantissaEnd =
      std::find_if(first, result.ptr, [](char c) { return c == 'e' || c == 'E'; });
  const bool written =
      std::find_if(first, mantissaEnd, [](char c) { return c >= '0' && c <= '9'; }) != mantissaEnd;
  const bool nonZero =
      std::find_if(first, mantissaEnd, [](char c) { return c >= '1' && c <= '9'; }) != mantissaEnd;
  if (written && (std::isinf(read) || (read == 0 && nonZero)))
    return {result.ptr, std::errc::result_out_of_range};
  value = read;
  return {result.ptr, std::errc{}};
}

}  // namespace vireo
