// `tarvex run` refusing a step, and `tarvex validate` (the options are options_test's).
#include <gtest/gtest.h>

#include <string>

#include "host/tarvex_process.h"

namespace tarvex {
namespace {

using host_test::Outcome;
using host_test::tarvex;

TEST(run_command, refused_method_name_exits_1_with_one_error_line) {
  for (const char* name : {"otherstep", ""}) {
    SCOPED_TRACE(name);
    Outcome o = tarvex({"run", "--method", name, "--param", "reportfolder=unused"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, std::string("error -2147220539: '") + name +
                         "' is not handled by 'Tarvex_83.Implementation.Execute' (source "
                         "Tarvex_83.Implementation.Execute)\nhint: this plug-in runs only steps "
                         "whose method name is 'tarvex' (--method tarvex)\n");
    EXPECT_EQ(o.out, "");
  }
}

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
