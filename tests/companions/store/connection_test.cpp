// Connection text and the connection document: password masking, trimmed values, and refusals
// that say what is wrong without showing a password.
#include <gtest/gtest.h>

#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/store/connection_text.h"
#include "contracts/companions.h"
#include "store_test_support.h"

namespace tarvex::companions::store {
namespace {

using testing::expect_store_error;

TEST(connection_text, masks_the_whole_password_value) {
  const std::pair<const char*, const char*> cases[] = {
      {"password=\"a;b\"\"c\";User=u", "password=********;User=u"},
      {"PASSWORD = secret ;Host=h", "PASSWORD = ******** ;Host=h"},
      {"Password=a;Host=h;pAssword=b", "Password=********;Host=h;pAssword=********"},
      {"Password=;Host=h", "Password=********;Host=h"},
      {"Host=h;Password=\"never closed;User=u", "Host=h;Password=********"},
      {"Passwords=x;Database=Password=y", "Passwords=x;Database=Password=y"},
  };
  for (const auto& [text, masked] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(mask_passwords(text), masked);
  }
}

// Broken texts (well-formed ones are the connection fuzzer's): the refusal never quotes what may
// be the rest of a password, and still says what to do.
TEST(connection_text, a_refusal_never_shows_the_password_and_says_what_to_do) {
  register_companions();
  auto& inspector = automation::shared<contracts::ConnectionInspector>();
  const std::pair<const char*, const char*> cases[] = {
      {"Password=abc;Sekr1tValue", "a password that holds ';' must be written in double quotes"},
      {"Password=abc;;Sekr1tValue;Host=db1", ""},
      {"Password=\"abc\"Sekr1tValue", "put the whole value in the quotes"},
      {"Password=\"Sekr1tValue", ""},
      {"Host=db1;Password=Sekr1tValue;not a pair", ""},
      {"Host=db1;def", "'def' is not a Key=Value pair"},
      {"Host=\"db1\"def", "followed by 'def'"},
  };
  for (const auto& [text, says] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(mask_passwords(text).find("Sekr1t"), std::string::npos) << mask_passwords(text);
    auto e = test_support::error_of([&] { inspector.ConnectionFromText(text); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->description().find("Sekr1t"), std::string::npos) << e->description();
    EXPECT_NE(e->description().find(says), std::string::npos) << e->description();
  }
}

constexpr const char* kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<macrocontainerconnection>
  <location>  SRV </location>
  <applicationcontainer>
     Sales
  </applicationcontainer>
  <connection>Driver=PostgreSQL;Host=db1;Password="p;w"</connection>
</macrocontainerconnection>)";

TEST(connection_document, loads_trimmed_values_and_masks_on_request) {
  ConnectionDocumentImpl document;
  document.LoadDocument(kDocument);
  EXPECT_EQ(document.LocationName(), "SRV");
  EXPECT_EQ(document.ApplicationContainerName(), "Sales");
  EXPECT_EQ(document.ConnectionString(false), "Driver=PostgreSQL;Host=db1;Password=\"p;w\"");
  EXPECT_EQ(document.ConnectionString(true), "Driver=PostgreSQL;Host=db1;Password=********");
}

TEST(connection_document, refuses_documents_saying_which_fault) {
  auto with = [](const std::string& body) {
    return "<macrocontainerconnection>" + body + "</macrocontainerconnection>";
  };
  const std::string location = "<location>SRV</location>";
  const std::string container = "<applicationcontainer>Sales</applicationcontainer>";
  const std::string connection = "<connection>Database=x</connection>";
  const std::pair<std::string, const char*> cases[] = {
      {"<macrocontainerconnection><location>", "is not well-formed XML"},
      {"<connection>Database=x</connection>",
       "has root element <connection>; expected <macrocontainerconnection>"},
      {with(location + connection), "lacks the element <applicationcontainer>"},
      {with(location + container + "<connection> \n\t </connection>"),
       "element <connection> is empty"},
      {with("<location/>" + container + connection), "element <location> is empty"},
  };
  for (const auto& [text, says] : cases) {
    SCOPED_TRACE(text);
    ConnectionDocumentImpl document;
    expect_store_error([&] { document.LoadDocument(text); }, StoreError::BadConnectionDocument,
                       {"The connection document ", says});
  }
}

}  // namespace
}  // namespace tarvex::companions::store
