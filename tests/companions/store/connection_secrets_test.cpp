// A password in connection text never reaches what a user or a report sees: the masked text,
// the description, or the description of an error about a text that cannot be parsed, which
// still says what to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/store/connection_text.h"
#include "contracts/companions.h"

namespace tarvex::companions::store {
namespace {

struct Case {
  const char* text;
  std::vector<std::string> secrets;
  const char* says = nullptr;  // what the refusal of a broken text must still say
};

const Case kCases[] = {
    {"Driver=PostgreSQL;Host=db1;Password=Sekr1tValue;User=report", {"Sekr1tValue"}},
    {"PASSWORD=Sekr1tValue", {"Sekr1tValue"}},
    {"  password  =  Sekr1tValue  ;Host=db1;", {"Sekr1tValue"}},
    {"password = \"Sekr1t;Value=x\" ;User=x", {"Sekr1t;Value=x", "Sekr1t"}},
    {"Password=\"say \"\"Sekr1t\"\"\"", {"Sekr1t"}},
    {"Password=Sekr1tValue;Password=Sekr2tValue", {"Sekr1tValue", "Sekr2tValue"}},
    // Broken texts: the refusal must not quote what may be the rest of the password.
    {"Password=abc;Sekr1tValue",
     {"Sekr1tValue"},
     "a password that holds ';' must be written in double quotes"},
    {"Password=abc;;Sekr1tValue;Host=db1", {"Sekr1tValue"}},
    {"Password=\"abc\"Sekr1tValue", {"Sekr1tValue"}, "put the whole value in the quotes"},
    {"Password=\"Sekr1tValue", {"Sekr1tValue"}},
    {"Host=db1;Password=Sekr1tValue;not a pair", {"Sekr1tValue"}},
    // Elsewhere the refusal still quotes the part it refuses.
    {"Host=db1;def", {}, "'def' is not a Key=Value pair"},
    {"Host=\"db1\"def", {}, "followed by 'def'"},
};

void expect_hidden(const Case& c, const std::string& shown, const char* where) {
  for (const std::string& secret : c.secrets)
    EXPECT_EQ(shown.find(secret), std::string::npos) << where << ": " << shown;
}

TEST(connection_secrets, never_shown_masked_described_or_in_errors) {
  register_companions();
  auto& inspector = automation::shared<contracts::ConnectionInspector>();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    expect_hidden(c, mask_passwords(c.text), "masked");
    try {
      expect_hidden(c, inspector.DescribeConnection(inspector.ConnectionFromText(c.text)),
                    "described");
      EXPECT_FALSE(c.says) << "accepted";
    } catch (const automation::Error& e) {
      expect_hidden(c, e.description(), "error");
      if (c.says) {
        EXPECT_NE(e.description().find(c.says), std::string::npos) << e.description();
      }
    }
  }
}

}  // namespace
}  // namespace tarvex::companions::store
