// One expat parser over a part that arrives in pieces, with its events on a
// C++ object: Start(name, attrs), End(name) and Text(text, length). No
// exception crosses expat's C frames: a handler's exception stops the
// parser and is thrown again from Parse.
#pragma once

#include <expat.h>

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "common/Error.h"

namespace vireo::xlsx {

template <typename Handler>
class StreamingXml {
 public:
  StreamingXml(Handler& handler, const std::string& file, const std::string& part)
      : handler_(handler), file_(file), part_(part) {
    // Forcing UTF-8 keeps the copied bytes and the written ones in one
    // encoding.
    parser_ = XML_ParserCreate("UTF-8");
    if (!parser_) throw std::bad_alloc();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &StreamingXml::OnStart, &StreamingXml::OnEnd);
    XML_SetCharacterDataHandler(parser_, &StreamingXml::OnText);
  }
  ~StreamingXml() { XML_ParserFree(parser_); }
  StreamingXml(const StreamingXml&) = delete;
  StreamingXml& operator=(const StreamingXml&) = delete;

  // Parses the next piece. Broken XML throws Error naming the part and the
  // line; after Stop() the rest is not parsed.
  void Parse(std::string_view piece, bool last) {
    if (stopped_) return;
    if (XML_Parse(parser_, piece.data(), static_cast<int>(piece.size()), last) == XML_STATUS_OK)
      return;
    if (failure_) std::rethrow_exception(failure_);
    if (stopped_) return;
    throw Error(file_, "read workbook",
                "broken XML in " + part_ + " at line " + std::to_string(Line()) + ": " +
                    XML_ErrorString(XML_GetErrorCode(parser_)));
  }
  // Ends the parse from within a handler, without an error.
  void Stop() {
    stopped_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }
  bool Stopped() const { return stopped_; }

  long Line() const { return static_cast<long>(XML_GetCurrentLineNumber(parser_)); }
  // Where the current event's bytes start in the part, and how many it has
  // (0 for the end of an empty element, which has no bytes of its own).
  std::uint64_t EventStart() const {
    return static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser_));
  }
  std::uint64_t EventLength() const {
    return static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser_));
  }

 private:
  static void OnStart(void* self, const XML_Char* name, const XML_Char** attrs) {
    static_cast<StreamingXml*>(self)->Guard([&](Handler& h) { h.Start(name, attrs); });
  }
  static void OnEnd(void* self, const XML_Char* name) {
    static_cast<StreamingXml*>(self)->Guard([&](Handler& h) { h.End(name); });
  }
  static void OnText(void* self, const XML_Char* text, int length) {
    static_cast<StreamingXml*>(self)->Guard(
        [&](Handler& h) { h.Text(text, static_cast<std::size_t>(length)); });
  }
  template <typename F>
  void Guard(F&& f) {
    if (failure_ || stopped_) return;
    try {
      f(handler_);
    } catch (...) {
      failure_ = std::current_exception();
      XML_StopParser(parser_, XML_FALSE);
    }
  }

  Handler& handler_;
  const std::string& file_;
  const std::string& part_;
  XML_Parser parser_;
  std::exception_ptr failure_;
  bool stopped_ = false;
};

}  // namespace vireo::xlsx
