// Connection text, the connection document and the connection inspector: parsing, refusals
// that say what is wrong, password masking, and the description as the report cleans it.
#include <gtest/gtest.h>

#include "automation/convert.h"
#include "automation/object.h"
#include "automation/text.h"
#include "companions/store/connection_inspector.h"
#include "companions/store/connection_text.h"
#include "store_test_support.h"

namespace tarvex::companions::store {
namespace {

using automation::Variant;
using testing::expect_store_error;

constexpr Where kTestWhere{"Test", "Parse"};

TEST(connection_text, parses_pairs_quotes_and_key_case) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"Driver=SQLite;Database=demo/store.db", "database", "demo/store.db"},
      {"DATABASE = spaced name.db ;", "Database", "spaced name.db"},
      {"Database=\"a;b=c\"", "Database", "a;b=c"},
      {"Password=\"say \"\"hi\"\"\"", "PASSWORD", "say \"hi\""},
      {";;Host=db1;;", "host", "db1"},
      {"Database=first;database=second", "Database", "second"},
      {"Custom=keep=this", "custom", "keep=this"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ConnectionText text = ConnectionText::parse(c.text, kTestWhere);
    auto value = text.value(c.key);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, c.value);
  }
  EXPECT_FALSE(ConnectionText::parse("Database=x", kTestWhere).value("Host").has_value());
}

TEST(connection_text, chooses_the_driver_without_regard_to_case) {
  EXPECT_EQ(ConnectionText::parse("Database=x", kTestWhere).driver(), Driver::SQLite);
  EXPECT_EQ(ConnectionText::parse("DRIVER=postgresql", kTestWhere).driver(), Driver::PostgreSQL);
}

TEST(connection_text, refuses_bad_text_saying_what_is_wrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"Password=\"open", "never closed"},
      {"Driver=SQLite;justaword", "'justaword' is not a Key=Value pair"},
      {"=value", "has no key"},
      {"Database=\"a\"b", "put the whole value in the quotes"},
  };
  for (const auto& [text, says] : cases) {
    SCOPED_TRACE(text);
    expect_store_error([&] { ConnectionText::parse(text, kTestWhere); },
                       StoreError::BadConnectionText, {says});
  }
}

TEST(connection_text, masks_the_whole_password_value) {
  const std::pair<const char*, const char*> cases[] = {
      {"Driver=PostgreSQL;Password=x", "Driver=PostgreSQL;Password=********"},
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

TEST(connection_text, quoted_values_read_back_as_written) {
  for (std::string value : {"plain.db", "with;semicolon", "a=b", "say \"x\"", " padded ", ""}) {
    SCOPED_TRACE(value);
    auto parsed = ConnectionText::parse("Database=" + quote_connection_value(value), kTestWhere);
    EXPECT_EQ(parsed.value("Database").value_or("<none>"), value);
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

TEST(connection_document, answers_by_member_name) {
  automation::ObjectRef document = std::make_shared<ConnectionDocumentImpl>();
  automation::call(document, "loaddocument", std::string(kDocument));
  EXPECT_EQ(automation::to_text(automation::get(document, "ConnectionString", true)),
            "Driver=PostgreSQL;Host=db1;Password=********");
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
      {"", "is not well-formed XML"},
      {"<connection>Database=x</connection>",
       "has root element <connection>; expected <macrocontainerconnection>"},
      {with(container + connection), "lacks the element <location>"},
      {with(location + connection), "lacks the element <applicationcontainer>"},
      {with(location + container), "lacks the element <connection>"},
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

TEST(connection_document, a_refused_load_keeps_the_earlier_document) {
  ConnectionDocumentImpl document;
  expect_store_error([&] { document.ApplicationContainerName(); },
                     StoreError::BadConnectionDocument, {"LoadDocument"});
  document.LoadDocument(kDocument);
  EXPECT_THROW(document.LoadDocument("<oops"), automation::Error);
  EXPECT_EQ(document.ApplicationContainerName(), "Sales");
}

TEST(connection_inspector, describes_each_setting_on_its_own_paragraph) {
  const std::pair<const char*, const char*> cases[] = {
      {"Database=demo/store.db", "Driver: SQLite\r\n\r\nDatabase: demo/store.db"},
      {"HOST=h;Timeout=30;driver=postgresql;password=\"a;b\"",
       "Driver: PostgreSQL\r\n\r\nHost: h\r\n\r\nTimeout: 30\r\n\r\nPassword: ********"},
  };
  ConnectionInspectorImpl inspector;
  for (const auto& [text, settings] : cases) {
    SCOPED_TRACE(text);
    std::string description = inspector.DescribeConnection(inspector.ConnectionFromText(text));
    EXPECT_EQ(description, "Connection Properties:\r\n" + std::string(settings));
  }
}

TEST(connection_inspector, refuses_bad_text_and_objects_that_are_no_connection) {
  ConnectionInspectorImpl inspector;
  expect_store_error([&] { inspector.ConnectionFromText("Driver=Access"); },
                     StoreError::BadConnectionText, {"'Access'"});
  EXPECT_THROW(inspector.DescribeConnection(nullptr), automation::Error);
  EXPECT_THROW(inspector.DescribeConnection(std::make_shared<ConnectionDocumentImpl>()),
               automation::Error);
}

TEST(connection_inspector, connection_objects_answer_by_member_name) {
  ConnectionInspectorImpl inspector;
  automation::ObjectRef connection = inspector.ConnectionFromText("Database=x.db;Port=5432");
  EXPECT_EQ(automation::to_text(automation::get(connection, "Driver")), "SQLite");
  EXPECT_EQ(automation::to_text(automation::get(connection, "Item", "port")), "5432");
  EXPECT_TRUE(automation::get(connection, "Item", "Host").is_empty());
}

}  // namespace
}  // namespace tarvex::companions::store
