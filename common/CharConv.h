// Numbers to and from text as <charconv> gives them. The C++ library of
// the WebAssembly build has no floating-point to_chars or from_chars, so
// there these give the same text from other means; everywhere else they are
// the standard functions themselves.
#pragma once

#include <charconv>
#include <type_traits>

namespace vireo {

#ifdef __EMSCRIPTEN__
std::to_chars_result ShortestDoubleChars(char* first, char* last, double value);
std::to_chars_result DoubleChars(char* first, char* last, double value, std::chars_format format,
                                 int precision);
std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value);
#endif

// std::to_chars(first, last, value): the shortest text that reads back.
template <typename T>
std::to_chars_result ToChars(char* first, char* last, T value) {
#ifdef __EMSCRIPTEN__
  if constexpr (std::is_floating_point_v<T>)
    return ShortestDoubleChars(first, last, value);
  else
#endif
    return std::to_chars(first, last, value);
}

inline std::to_chars_result ToChars(char* first, char* last, double value, std::chars_format format,
                                    int precision) {
#ifdef __EMSCRIPTEN__
  return DoubleChars(first, last, value, format, precision);
#else
  return std::to_chars(first, last, value, format, precision);
#endif
}

template <typename T>
std::from_chars_result FromChars(const char* first, const char* last, T& value) {
#ifdef __EMSCRIPTEN__
  if constexpr (std::is_floating_point_v<T>)
    return DoubleFromChars(first, last, value);
  else
#endif
    return std::from_chars(first, last, value);
}

}  // namespace vireo
