// The error that crosses every call of the system: a number, a source and a description, as the
// platform's error object carries them, plus the table of the runtime failures that keep their
// usual numbers.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace tarvex::automation {

// Runtime failures, numbered as the platform numbers them.
enum class RuntimeError : std::int32_t {
  InvalidProcedureCall = 5,  // "Invalid procedure call or argument"
  Overflow = 6,              // "Overflow"
  OutOfMemory = 7,           // "Out of memory"
  SubscriptOutOfRange = 9,   // "Subscript out of range"
  TypeMismatch = 13,         // "Type mismatch"
  ObjectNotSet = 91,         // "Object variable or With block variable not set"
  InvalidUseOfNull = 94,     // "Invalid use of Null"
  ObjectRequired = 424,      // "Object required"
  CannotCreateObject = 429,  // "ActiveX component can't create object"
  MemberNotSupported = 438,  // "Object doesn't support this property or method"
  WrongArgumentCount = 450,  // "Wrong number of arguments or invalid property assignment"
  KeyAlreadyTaken = 457,     // "This key is already associated with an element of this collection"
};

// The usual description of a runtime failure; empty for numbers outside the table.
std::string_view runtime_description(std::int32_t number);

// Object-defined errors are this base plus a code of the component's own.
inline constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);

class Error : public std::exception {
 public:
  Error(std::int32_t number, std::string source, std::string description)
      : number_(number), source_(std::move(source)), description_(std::move(description)) {}

  std::int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// This component's project name: the first part of its sources, ProgIDs and trace lines.
inline constexpr std::string_view kProjectName = "Tarvex_83";

// "Project.Class.Procedure", the text that names where an error was raised (its source) or a
// trace line was written; "Project.Class" when `procedure` is empty. The append form adds it
// to `out`.
void append_qualified_name(std::string& out, std::string_view project, std::string_view class_name,
                           std::string_view procedure = {});
std::string qualified_name(std::string_view project, std::string_view class_name,
                           std::string_view procedure = {});

// The project name that runtime failures carry as their source.
std::string_view runtime_source();

// Raises a runtime failure with its usual description, or with `detail` added after it.
[[noreturn]] void raise(RuntimeError code, std::string_view detail = {});

// The error for any exception that reached a boundary: an Error stays as it is, memory
// exhaustion becomes error 7, anything else error 5 with the exception's text.
Error error_from_current_exception();

}  // namespace tarvex::automation
