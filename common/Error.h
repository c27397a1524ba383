// The one error type of the program: which file, what was being done, why.
#pragma once

#include <stdexcept>
#include <string>

namespace vireo {

class Error : public std::runtime_error {
 public:
  // Message reads "<file>: <operation> (<cause>)", e.g.
  // "Existing.xlsx: not a workbook (no xl/workbook.xml)".
  Error(std::string file, std::string operation, std::string cause);

  const std::string& File() const { return file_; }
  const std::string& Operation() const { return operation_; }
  const std::string& Cause() const { return cause_; }

 private:
  std::string file_;
  std::string operation_;
  std::string cause_;
};

// The text of errno as a cause, e.g. "No such file or directory".
std::string SystemCause(int errnoValue);

}  // namespace vireo
