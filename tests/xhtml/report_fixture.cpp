// The report tests' set-up and the recording error logger.
#include "report_fixture.h"

#include <fstream>
#include <sstream>

#include "automation/convert.h"
#include "automation/error_object.h"
#include "automation/guard.h"
#include "automation/text.h"
#include "companions/registration.h"
#include "contracts/companions.h"

namespace tarvex::xhtml::testing {

using automation::Args;
using automation::CallKind;
using automation::ObjectRef;
using automation::Variant;

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
    log_.push_back({error->error().number(), automation::object_of(a[1]), automation::to_long(a[2]),
                    automation::to_text(a[3]), automation::to_text(a[4]),
                    automation::to_text(a[5])});
    error->raise_again();
  }

 private:
  std::vector<LoggedError>& log_;
};

}  // namespace

std::int32_t error_number_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const automation::Error& e) {
    return e.number();
  }
  return 0;
}

ReportTest::ReportTest() {
  companions::register_companions();
  logger_.emplace(std::string(automation::kErrorLoggerProgId),
                  [this] { return std::make_shared<RecordingLogger>(logged); });
}

XHTMLDocument& ReportTest::report() {
  if (!report_) report_ = XHTMLDocument::create();
  return *report_;
}

std::filesystem::path ReportTest::file_path(const std::string& suffix) const {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::temp_directory_path() /
         (std::string("tarvex_") + info->test_suite_name() + "_" + info->name() + suffix +
          ".xhtml");
}

std::string ReportTest::saved_text(const std::string& suffix) {
  std::filesystem::path path = file_path(suffix);
  report().Save(path.string());
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

pugi::xml_document ReportTest::saved() {
  std::string text = saved_text();
  pugi::xml_document document;
  pugi::xml_parse_result ok = document.load_string(
      text.c_str(), pugi::parse_default | pugi::parse_comments | pugi::parse_declaration);
  EXPECT_TRUE(ok) << ok.description() << " at " << ok.offset;
  return document;
}

std::string outline(pugi::xml_node node) {
  switch (node.type()) {
    case pugi::node_pcdata:
      return "'" + std::string(node.value()) + "'";
    case pugi::node_comment:
      return "<!--" + std::string(node.value()) + "-->";
    case pugi::node_element:
      break;
    default:
      return "?";
  }
  std::string out = node.name();
  if (node.first_attribute()) {
    out += '[';
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      if (a != node.first_attribute()) out += ',';
      out += std::string(a.name()) + "=" + a.value();
    }
    out += ']';
  }
  if (node.first_child() && node.first_child() == node.last_child() &&
      node.first_child().type() == pugi::node_pcdata) {
    return out + outline(node.first_child());
  }
  if (node.first_child()) {
    out += '(';
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (child != node.first_child()) out += ' ';
      out += outline(child);
    }
    out += ')';
  }
  return out;
}

}  // namespace tarvex::xhtml::testing
