// Helpers the test programs share: a scratch folder of the running test's own, the text of a
// file or of all below a folder, the error an action raises, and an error logger that records what
// it is given.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/object.h"
#include "automation/registry.h"

namespace tarvex::test_support {

// A fresh folder named after the prefix, the running test and process, removed with its content.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "tarvex");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string file_text(const std::filesystem::path& file);
// Every file below `root`, by its path relative to it, with its content.
std::map<std::string, std::string> files_below(const std::filesystem::path& root);

// The error `action` raises, none when it raises nothing.
std::optional<automation::Error> error_of(const std::function<void()>& action);
inline std::int32_t error_number_of(const std::function<void()>& action) {
  auto error = error_of(action);
  return error ? error->number() : 0;
}

// The six arguments of one LogAndReRaiseVBError call.
struct LoggedError {
  std::int32_t number = 0;
  automation::ObjectRef application;
  std::int32_t line = -1;  // -1: not given as a Long
  std::string project, module, procedure;
  // "procedure@line:number", the short form tests compare.
  std::string brief() const;
};

// Stands in for the error logger while it lives: records each call, then raises the error again
// as the real component does.
class ErrorLog {
 public:
  ErrorLog();
  std::vector<LoggedError> entries;
  // The brief forms of the entries logged by `module`.
  std::vector<std::string> of(const std::string& module) const;

 private:
  automation::ScopedProgId scope_;
};

}  // namespace tarvex::test_support
