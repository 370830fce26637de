// The error-logging component: the error comes back unchanged, and its record carries the
// number in both bases, the place and the application, even when recording is impossible.
#include <gtest/gtest.h>

#include <algorithm>

#include "automation/app.h"
#include "automation/error_object.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/utilities/error_logger.h"
#include "companions/utilities/trace.h"
#include "support/test_support.h"

namespace tarvex::companions::utilities {
namespace {

using automation::Error;
using automation::Variant;

std::string whole(const Error& e) {
  return std::to_string(e.number()) + "|" + e.source() + "|" + e.description();
}

class error_logger : public ::testing::Test {
 protected:
  void SetUp() override { register_companions(); }
  void TearDown() override { set_trace_destination(TraceDestination::none()); }
  std::string trace_text() const { return test_support::file_text(file_); }
  // Calls the logger as an error handler does and returns what it raised.
  static Error log_and_reraise(const Error& error, std::int32_t line) {
    auto raised = test_support::error_of([&] {
      automation::call(automation::create_object("Faultkit_83.Helper"), "LogAndReRaiseVBError",
                       automation::ErrorObject::create(error), automation::App(), line, "Tarvex_83",
                       "Examiner", "ReportOnMacros");
    });
    EXPECT_TRUE(raised) << "the logger returned";
    return raised.value_or(Error(0, {}, {}));
  }

  test_support::ScratchDir dir_;
  std::string file_ = dir_.file("trace.log");
};

TEST_F(error_logger, reraises_unchanged_and_records_the_number_in_hex) {
  set_trace_destination(TraceDestination::to_file(file_));
  const Error errors[] = {
      Error(static_cast<std::int32_t>(0x800403C5u), "Tarvex_83.Examiner.GetMacroGUIDs",
            "The macro has more than one record"),
      Error(13, "Tarvex_83", "Type mismatch"),
      Error(0, "", ""),
  };
  for (const Error& error : errors) {
    Error raised = log_and_reraise(error, 110);
    EXPECT_EQ(whole(raised), whole(error));
  }
  std::string text = trace_text();
  EXPECT_NE(text.find("[Error] Tarvex_83.Examiner.ReportOnMacros: error -2147220539 "
                      "(0x800403C5) at line 110 from Tarvex_83.Examiner.GetMacroGUIDs: "
                      "The macro has more than one record (Tarvex 1.0.0)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("error 13 (0x0000000D) at line 110 from Tarvex_83: Type mismatch"),
            std::string::npos)
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST_F(error_logger, the_error_survives_a_trace_that_cannot_be_written) {
  for (const TraceDestination& destination :
       {TraceDestination::none(), TraceDestination::to_file("/dev/full")}) {
    set_trace_destination(destination);
    Error raised = log_and_reraise(Error(61, "Toolkit_83.FileSystemUtility", "Disk full"), 0);
    EXPECT_EQ(raised.number(), 61);
    EXPECT_EQ(raised.description(), "Disk full");
  }
}

TEST_F(error_logger, wrong_arguments_are_an_error_of_the_logger) {
  auto logger = automation::create_object("Faultkit_83.Helper");
  auto e = test_support::error_of([&] {
    automation::call(logger, "LogAndReRaiseVBError", "not an error", automation::App(), 0, "P", "M",
                     "F");
  });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), 5);
  EXPECT_EQ(e->source(), "Faultkit_83.Helper");
  EXPECT_EQ(test_support::error_number_of(
                [&] { automation::call(logger, "LogAndReRaiseVBError", automation::App()); }),
            450);
}

TEST_F(error_logger, guarded_procedures_log_at_every_level_and_the_error_arrives_intact) {
  set_trace_destination(TraceDestination::to_file(file_));
  const Error original(static_cast<std::int32_t>(0x800403C4u), "Tarvex_83.Examiner.ReportOnMacro",
                       "Two records");
  auto e = test_support::error_of([&] {
    automation::guarded({"Implementation", "Execute"}, [&] {
      automation::guarded({"basMain", "GenerateReport"}, [&](std::int32_t& line) {
        line = 120;
        throw original;
      });
    });
  });
  ASSERT_TRUE(e);
  EXPECT_EQ(whole(*e), whole(original));
  std::string text = trace_text();
  std::size_t inner = text.find(
      "Tarvex_83.basMain.GenerateReport: error -2147220540 "
      "(0x800403C4) at line 120");
  std::size_t outer = text.find(
      "Tarvex_83.Implementation.Execute: error -2147220540 "
      "(0x800403C4) at line 0");
  EXPECT_NE(inner, std::string::npos) << text;
  EXPECT_NE(outer, std::string::npos) << text;
  EXPECT_LT(inner, outer);
}

}  // namespace
}  // namespace tarvex::companions::utilities
