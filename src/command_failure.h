// Failures raised inside the library. Every command catches them and turns
// them into the internal-error line, which shows the help context, the
// message and the class name of the failure.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace quorbel {

class Failure : public std::exception {
 public:
  explicit Failure(std::string message, int32_t help_context = 0)
      : message_(std::move(message)), help_context_(help_context) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const { return message_; }
  int32_t help_context() const { return help_context_; }
  virtual const char* class_name() const { return "Exception"; }

 private:
  std::string message_;
  int32_t help_context_;
};

#define QUORBEL_FAILURE_CLASS(Name)                          \
  class Name : public Failure {                              \
   public:                                                   \
    using Failure::Failure;                                  \
    const char* class_name() const override { return #Name; } \
  }

QUORBEL_FAILURE_CLASS(EInOutError);      // a file could not be read or written
QUORBEL_FAILURE_CLASS(EConvertError);    // a text is not the number it should be
QUORBEL_FAILURE_CLASS(EListError);       // a list index outside the list
QUORBEL_FAILURE_CLASS(EOutOfMemory);     // memory ran out
QUORBEL_FAILURE_CLASS(ENoEngine);        // the engine could not be constructed at load

#undef QUORBEL_FAILURE_CLASS

// What the internal-error line shows of any caught failure.
struct FailureInfo {
  int32_t help_context = 0;
  std::string message;
  std::string class_name;
};

// Describes the exception being handled; call only inside a catch block.
FailureInfo DescribeCurrentFailure();

// Converts a whole text to a signed 32-bit number (decimal with an optional
// sign, or "$" and hexadecimal digits); raises EConvertError otherwise.
int32_t StrToInt(const std::string& text);

}  // namespace quorbel
