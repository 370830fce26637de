// The current error as an object, as error handlers hand it to the error-logging component:
// Number, Source, Description, HelpFile, HelpContext and Raise, by member name.
#pragma once

#include <memory>

#include "automation/error.h"
#include "automation/object.h"

namespace tarvex::automation {

class ErrorObject : public Object {
 public:
  explicit ErrorObject(Error error) : error_(std::move(error)) {}
  static std::shared_ptr<ErrorObject> create(Error error) {
    return std::make_shared<ErrorObject>(std::move(error));
  }

  const Error& error() const { return error_; }
  // Raises the error again with its number, source and description unchanged.
  [[noreturn]] void raise_again() const { throw error_; }

  Variant invoke(std::string_view member, CallKind kind, Args& args) override;

 private:
  Error error_;
};

}  // namespace tarvex::automation
