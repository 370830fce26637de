// Set-up shared by the report document's tests: the real companions, an error logger that
// records what it is given, and helpers that save a report and read it back as XML.
#pragma once

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/registry.h"
#include "automation/variant.h"
#include "xhtml/xhtml_document.h"

namespace tarvex::xhtml::testing {

// The six arguments of one LogAndReRaiseVBError call.
struct LoggedError {
  std::int32_t number = 0;
  automation::ObjectRef application;
  std::int32_t line = -1;
  std::string project;
  std::string module;
  std::string procedure;
};

// The number of the error `action` raises, 0 when it raises none.
std::int32_t error_number_of(const std::function<void()>& action);

// A compact picture of an element and everything below it: name, [attributes in order],
// 'text' for a lone text child, <!--comment-->, and (children) separated by blanks.
std::string outline(pugi::xml_node node);

class ReportTest : public ::testing::Test {
 protected:
  ReportTest();

  // The document under test, created on first use.
  XHTMLDocument& report();
  // Saves the report to a file named after the test (and `suffix`) and returns the file's text.
  std::string saved_text(const std::string& suffix = "");
  std::filesystem::path file_path(const std::string& suffix) const;
  // The saved report parsed (comments kept); fails the test when it is not well-formed.
  pugi::xml_document saved();
  std::vector<LoggedError> logged;

 private:
  std::optional<automation::ScopedProgId> logger_;
  std::shared_ptr<XHTMLDocument> report_;
};

}  // namespace tarvex::xhtml::testing
