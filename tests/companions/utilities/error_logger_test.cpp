// The error-logging component: the error comes back unchanged, and its record carries the
// number in both bases, the line, the place and the application, even when recording is
// impossible.
#include <gtest/gtest.h>

#include "automation/app.h"
#include "automation/error_object.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/utilities/trace.h"
#include "support/test_support.h"

namespace tarvex::companions::utilities {
namespace {

using automation::Error;

class error_logger : public ::testing::Test {
 protected:
  void SetUp() override { register_companions(); }
  void TearDown() override { set_trace_destination(TraceDestination::none()); }
  test_support::ScratchDir dir_;
  std::string file_ = dir_.file("trace.log");
};

TEST_F(error_logger, reraises_unchanged_and_records_one_line) {
  const Error error(static_cast<std::int32_t>(0x800403C5u), "Tarvex_83.Examiner.GetMacroGUIDs",
                    "The macro has more than one record");
  for (const TraceDestination& destination :
       {TraceDestination::to_file(file_), TraceDestination::to_file("/dev/full")}) {
    set_trace_destination(destination);
    // Called as an error handler calls it.
    auto raised = test_support::error_of([&] {
      automation::call(automation::create_object("Faultkit_83.Helper"), "LogAndReRaiseVBError",
                       automation::ErrorObject::create(error), automation::App(), 110, "Tarvex_83",
                       "Examiner", "ReportOnMacros");
    });
    ASSERT_TRUE(raised) << "the logger returned";
    EXPECT_EQ(raised->number(), error.number());
    EXPECT_EQ(raised->source(), error.source());
    EXPECT_EQ(raised->description(), error.description());
  }
  std::string text = test_support::file_text(file_);
  EXPECT_NE(text.find("[Error] Tarvex_83.Examiner.ReportOnMacros: error -2147220539 "
                      "(0x800403C5) at line 110 from Tarvex_83.Examiner.GetMacroGUIDs: "
                      "The macro has more than one record (Tarvex 1.0.0)\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace tarvex::companions::utilities
