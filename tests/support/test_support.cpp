// The shared test helpers of test_support.h.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "automation/convert.h"
#include "automation/error_object.h"
#include "automation/guard.h"
#include "automation/text.h"

namespace tarvex::test_support {

namespace fs = std::filesystem;
using automation::Args;
using automation::CallKind;
using automation::Variant;

ScratchDir::ScratchDir(const std::string& prefix) {
  static std::atomic<int> counter = 0;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  if (info) name += std::string("-") + info->test_suite_name() + "-" + info->name();
  path_ = fs::temp_directory_path() / name;
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string file_text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::map<std::string, std::string> files_below(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file())
      files.emplace(fs::relative(entry.path(), root).string(), file_text(entry.path()));
  }
  return files;
}

std::optional<automation::Error> error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const automation::Error& e) {
    return e;
  }
  return std::nullopt;
}

std::string LoggedError::brief() const {
  return procedure + "@" + std::to_string(line) + ":" + std::to_string(number);
}

namespace {

class RecordingLogger : public automation::Object {
 public:
  explicit RecordingLogger(std::vector<LoggedError>& log) : log_(log) {}
  Variant invoke(std::string_view member, CallKind, Args& a) override {
    if (!automation::ascii_iequals(member, automation::kLogAndReRaise)) {
      automation::raise_unknown_member(member);
    }
    a.expect(6);
    auto error = automation::object_as<automation::ErrorObject>(a[0]);
    log_.push_back({error->error().number(), a[1].is_object() ? a[1].as_object() : nullptr,
                    a[2].kind() == automation::Kind::Long ? a[2].as_long() : -1,
                    automation::to_text(a[3]), automation::to_text(a[4]),
                    automation::to_text(a[5])});
    error->raise_again();
  }

 private:
  std::vector<LoggedError>& log_;
};

}  // namespace

ErrorLog::ErrorLog()
    : scope_(std::string(automation::kErrorLoggerProgId),
             [this] { return std::make_shared<RecordingLogger>(entries); }) {}

std::vector<std::string> ErrorLog::of(const std::string& module) const {
  std::vector<std::string> briefs;
  for (const LoggedError& e : entries) {
    if (e.module == module) briefs.push_back(e.brief());
  }
  return briefs;
}

}  // namespace tarvex::test_support
