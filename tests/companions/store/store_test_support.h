// Helpers for the store tests: raw SQL on a store file, a loaded connection document, a macro
// row, and a check that a call fails with a given store error.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "automation/error.h"
#include "companions/store/connection_document.h"
#include "companions/store/store_errors.h"
#include "support/test_support.h"
#include "tools/store_builder.h"

namespace tarvex::companions::store {

// The store tests write their stores with the host's builder.
using tools::AnyValue;
using tools::connection_document_text;
using tools::MacroRow;
using tools::ProgressRow;
using tools::sqlite_connection_text;
using tools::StepRow;
using tools::Text;

}  // namespace tarvex::companions::store

namespace tarvex::companions::store::testing {

using test_support::ScratchDir;

// Runs SQL on the store file (created if missing); fails the test on an error.
inline void exec_sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string text = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << text;
}

inline std::shared_ptr<ConnectionDocumentImpl> connection_document(const std::string& container,
                                                                   const std::string& connection) {
  auto document = std::make_shared<ConnectionDocumentImpl>();
  document->LoadDocument(connection_document_text("SRV", container, connection));
  return document;
}

inline std::shared_ptr<ConnectionDocumentImpl> sqlite_document(const std::string& container,
                                                               const std::string& path) {
  return connection_document(container, sqlite_connection_text(path));
}

// A macro row with only its container, GUID and name set.
inline MacroRow macro(std::string container, std::string guid, Text name) {
  MacroRow row;
  row.container = std::move(container);
  row.guid = std::move(guid);
  row.name = std::move(name);
  return row;
}

// A step row with its GUID, macro, position and heading, for the method "sqlquery".
inline StepRow step(std::string guid, std::string macro_guid, std::int64_t position, Text heading) {
  StepRow row;
  row.guid = std::move(guid);
  row.macro_guid = std::move(macro_guid);
  row.position = position;
  row.heading = std::move(heading);
  row.method_name = "sqlquery";
  return row;
}

// Writes a store holding the given rows, in one transaction.
inline void write_store(const std::string& path, const std::vector<MacroRow>& macros,
                        const std::vector<StepRow>& steps = {},
                        const std::vector<tools::ParameterRow>& parameters = {}) {
  tools::SqliteStoreWriter writer(path);
  for (const MacroRow& m : macros) writer.insert_macro(m);
  for (const StepRow& s : steps) writer.insert_step(s);
  for (const tools::ParameterRow& p : parameters) writer.insert_parameter(p);
  writer.commit();
}

// Expects `call` to raise the store error `kind` whose description holds every one of `parts`.
inline void expect_store_error(const std::function<void()>& call, StoreError kind,
                               const std::vector<std::string>& parts) {
  auto e = test_support::error_of(call);
  ASSERT_TRUE(e) << "no error was raised";
  EXPECT_EQ(e->number(), store_error_number(kind)) << e->description();
  EXPECT_TRUE(e->source().starts_with("Stepstore_83.")) << e->source();
  for (const std::string& part : parts) {
    EXPECT_NE(e->description().find(part), std::string::npos)
        << "'" << part << "' is not in: " << e->description();
  }
}

}  // namespace tarvex::companions::store::testing
