// `tarvex validate` (`tarvex run` and its options are options_test's).
#include <gtest/gtest.h>

#include <string>

#include "host/tarvex_process.h"

namespace tarvex {
namespace {

using host_test::Outcome;
using host_test::tarvex;

TEST(validate_command, counts_both_collections) {
  Outcome o = tarvex({"validate", "--method", "anything"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "ValidateStructure: 0 item(s)\nValidateContent: 0 item(s)\n");

  Outcome quiet = tarvex({"validate", "--quiet"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
}

}  // namespace
}  // namespace tarvex
