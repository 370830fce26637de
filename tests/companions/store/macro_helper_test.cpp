// The macro database helper on small stores built here: shapes, order and values of its four
// reads, by-reference arguments left alone, and stores that cannot be read.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "automation/convert.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/store/macro_helper.h"
#include "contracts/late_bound.h"
#include "store_test_support.h"

namespace tarvex::companions::store {
namespace {

using automation::Variant;
using testing::exec_sql;
using testing::expect_store_error;
using testing::macro;
using testing::ScratchDir;
using testing::sqlite_document;

// A cell as "Kind:value", so that a row compares as a list of texts.
std::string cell(const Variant& v) {
  std::string kind(automation::kind_name(v.kind()));
  return v.is_empty() || v.is_null() ? kind : kind + ":" + automation::to_text(v);
}

using Rows = std::vector<std::vector<std::string>>;

// The table as rows of cells; checks that it is a zero-based (column, row) array.
Rows rows_of(const Variant& table, std::int32_t columns) {
  EXPECT_TRUE(table.is_array()) << cell(table);
  if (!table.is_array()) return {};
  const automation::Array& array = table.as_array();
  EXPECT_EQ(array.dimensions(), 2);
  EXPECT_EQ(array.bounds(1).lower, 0);
  EXPECT_EQ(array.bounds(1).upper, columns - 1);
  EXPECT_EQ(array.bounds(2).lower, 0);
  Rows rows;
  for (std::int32_t r = 0; r <= array.bounds(2).upper; ++r) {
    std::vector<std::string> row;
    for (std::int32_t c = 0; c < columns; ++c) row.push_back(cell(array.at(c, r)));
    rows.push_back(row);
  }
  return rows;
}

// Sales holds eight macro rows (one GUID twice, one damaged start time); Other holds one.
void build_small_store(const std::string& path) {
  tools::SqliteStoreWriter writer(path);
  MacroRow zeta = macro("Sales", "{G-ZETA}", "Zeta");
  zeta.edit_state = "Ready";
  zeta.run_state = "Completed";
  zeta.next_item = "Step 2";
  zeta.last_start = "2025-03-03 01:00:00";
  zeta.last_completion = "2025-03-03 01:05:30";
  zeta.execution_command = "run zeta";
  writer.insert_macro(zeta);
  writer.insert_macro(macro("Sales", "{G-UMLAUT}", "\xC3\x84rger"));
  writer.insert_macro(macro("Sales", "{G-ALPHA-LOWER}", "alpha"));
  MacroRow alpha = macro("Sales", "{G-ALPHA}", "Alpha");
  alpha.last_start = "yesterday";
  alpha.failure_note = "";
  writer.insert_macro(alpha);
  writer.insert_macro(macro("Sales", "{G-SAME-B}", "Same"));
  writer.insert_macro(macro("Sales", "{G-DUP}", "Dup"));
  writer.insert_macro(macro("Sales", "{G-NULL}", std::nullopt));
  writer.insert_macro(macro("Sales", "{G-SAME-A}", "Same"));
  writer.insert_macro(macro("Sales", "{G-DUP}", "Dup"));
  writer.insert_macro(macro("Other", "{G-OTHER}", "Aaa"));

  auto step = [](std::string guid, std::string macro_guid, std::int64_t position,
                 AnyValue progress) {
    StepRow row = testing::step(guid, macro_guid, position, "Step " + std::to_string(position));
    row.progress = std::move(progress);
    return row;
  };
  StepRow second = step("{S-Z2}", "{G-ZETA}", 2, 37.5);
  second.started = "2025-03-03 01:02:00";
  second.ended = "soon";
  second.validation_failure_note = "Parameter 'target' is missing";
  writer.insert_step(second);
  StepRow first = step("{S-Z1}", "{G-ZETA}", 1, std::int64_t{100});
  first.started = "2025-03-03 01:00:00";
  first.ended = "2025-03-03 01:01:59";
  first.run_state = "Completed";
  writer.insert_step(first);
  writer.insert_step(step("{S-Z3}", "{G-ZETA}", 3, std::string("n/a")));
  writer.insert_step(step("{S-D1}", "{G-DUP}", 1, std::monostate{}));
  writer.insert_step(step("{S-O1}", "{G-OTHER}", 1, std::int64_t{5}));

  ProgressRow later{"{S-Z1}",    2, "2025-03-03 01:01:00", "Processed 10 of 10 rows",
                    100.0,       3, "Loader_83",           "basLoad",
                    "ImportRows"};
  ProgressRow earlier{"{S-Z1}",    1, "2025-03-03 01:00:30", "Opened the source",
                      12.5,        4, std::nullopt,          std::nullopt,
                      std::nullopt};
  writer.insert_progress(later);
  writer.insert_progress(earlier);
  writer.commit();
}

class MacroHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    companions::register_companions();
    build_small_store(path_);
    helper_ = automation::create_object("Stepstore_83.Helper");
    doc_ = Variant(automation::ObjectRef(sqlite_document("Sales", path_)));
  }

  Variant read(const char* member) {
    return automation::call(helper_, member, automation::byref(doc_));
  }
  Variant read(const char* member, Variant& key) {
    return automation::call(helper_, member, automation::byref(doc_), automation::byref(key));
  }

  ScratchDir dir_;
  std::string path_ = dir_.file("store.db");
  automation::ObjectRef helper_;
  Variant doc_;
};

TEST_F(MacroHelperTest, macros_come_in_name_then_guid_order_with_their_types) {
  Rows rows = rows_of(read("MacroRead"), 9);
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row[1]);
  EXPECT_EQ(names, (std::vector<std::string>{"Null", "String:Alpha", "String:Dup", "String:Dup",
                                             "String:Same", "String:Same", "String:Zeta",
                                             "String:alpha", "String:\xC3\x84rger"}));
  EXPECT_EQ(rows[4][0], "String:{G-SAME-A}");
  // Dates become Date values, NULLs Null, a damaged date stays text, an empty text stays.
  EXPECT_EQ(rows[6], (std::vector<std::string>{
                         "String:{G-ZETA}", "String:Zeta", "String:Ready", "String:Completed",
                         "String:Step 2", "Date:2025-03-03 01:00:00", "Date:2025-03-03 01:05:30",
                         "Null", "String:run zeta"}));
  EXPECT_EQ(rows[1][5], "String:yesterday");
  EXPECT_EQ(rows[1][7], "String:");

  // By GUID: every row of that GUID in the container, arguments by reference left alone.
  const std::pair<const char*, std::size_t> by_guid[] = {
      {"{G-ZETA}", 1}, {"{G-DUP}", 2}, {"{G-OTHER}", 0}, {"{nope}", 0}};
  for (const auto& [guid, count] : by_guid) {
    Variant key(guid);
    Variant result = read("MacroRead", key);
    EXPECT_EQ(cell(key), std::string("String:") + guid);
    EXPECT_EQ(result.is_empty() ? 0u : rows_of(result, 9).size(), count) << guid;
  }
}

TEST_F(MacroHelperTest, steps_by_position_once_each_for_the_container_and_progress_by_seq) {
  Variant zeta("{G-ZETA}");
  Rows rows = rows_of(read("MacroStepReadInformationForMacro", zeta), 11);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{
                         "String:{S-Z1}", "String:{G-ZETA}", "String:Step 1", "String:sqlquery",
                         "Null", "String:Completed", "Date:2025-03-03 01:00:00",
                         "Date:2025-03-03 01:01:59", "Long:1", "Long:100", "Null"}));
  EXPECT_EQ(rows[1][7], "String:soon");
  EXPECT_EQ(rows[1][9], "Double:37.5");
  EXPECT_EQ(rows[2][9], "String:n/a");
  const std::pair<const char*, std::size_t> by_guid[] = {{"{G-DUP}", 1}, {"{G-OTHER}", 0}};
  for (const auto& [guid, count] : by_guid) {
    Variant key(guid);
    Variant result = read("MacroStepReadInformationForMacro", key);
    EXPECT_EQ(result.is_empty() ? 0u : rows_of(result, 11).size(), count) << guid;
  }

  Variant step("{S-Z1}");
  rows = rows_of(read("MacroStepProgressRead", step), 8);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Long:1", "Date:2025-03-03 01:00:30",
                                               "String:Opened the source", "Double:12.5", "Long:4",
                                               "Null", "Null", "Null"}));
  EXPECT_EQ(rows[1][2], "String:Processed 10 of 10 rows");
  Variant none("{S-Z3}");
  EXPECT_TRUE(read("MacroStepProgressRead", none).is_empty());
}

TEST_F(MacroHelperTest, follows_the_document_to_another_store_and_takes_values_as_stored) {
  // A damaged store whose columns were declared otherwise: numbers stay numbers.
  std::string damaged = dir_.file("damaged.db");
  exec_sql(damaged,
           "CREATE TABLE macro (container TEXT, guid TEXT, name, edit_state INTEGER, run_state, "
           "next_item, last_start, last_completion, failure_note, execution_command);"
           "INSERT INTO macro VALUES ('Sales', 'g1', 42, 7, 3.25, 5000000000, 20250303, "
           "X'414243', NULL, '2025-03-03');");
  ASSERT_EQ(rows_of(read("MacroRead"), 9).size(), 9u);
  doc_ = Variant(automation::ObjectRef(sqlite_document("Sales", damaged)));
  Rows rows = rows_of(read("MacroRead"), 9);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"String:g1", "Long:42", "Long:7", "Double:3.25",
                                               "Double:5000000000", "Long:20250303", "String:ABC",
                                               "Null", "String:2025-03-03"}));
}

TEST(macro_helper_store, stores_that_cannot_be_read_fail_naming_the_store_and_the_reason) {
  ScratchDir dir;
  std::string missing = dir.file("missing.db");
  std::string without_progress = dir.file("no-progress.db");
  testing::write_store(without_progress, {macro("Sales", "{G}", "M")});
  exec_sql(without_progress, "DROP TABLE macro_step_progress");
  std::string without_macro = dir.file("no-macro.db");
  exec_sql(without_macro, "CREATE TABLE something (x)");

  struct Case {
    const char* name;
    std::string connection;
    const char* member;
    StoreError kind;
    std::vector<std::string> says;
  };
  const Case cases[] = {
      {"missing file",
       sqlite_connection_text(missing),
       "MacroRead",
       StoreError::StoreUnavailable,
       {missing, "does not exist"}},
      {"no macro table",
       sqlite_connection_text(without_macro),
       "MacroRead",
       StoreError::StoreUnavailable,
       {without_macro, "no such table: macro"}},
      {"no progress table",
       sqlite_connection_text(without_progress),
       "MacroStepProgressRead",
       StoreError::StoreUnavailable,
       {without_progress, "no such table: macro_step_progress"}},
      {"unknown driver",
       "Driver=Oracle;Database=x",
       "MacroRead",
       StoreError::BadConnectionText,
       {"'Oracle'"}},
      {"driver not built",
       "Driver=PostgreSQL;Host=db1;Database=macros",
       "MacroRead",
       StoreError::BadConnectionText,
       {"PostgreSQL", "not available in this build"}},
      {"no database", "Driver=SQLite", "MacroRead", StoreError::BadConnectionText, {"Database="}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variant doc(automation::ObjectRef(testing::connection_document("Sales", c.connection)));
    Variant guid("{G}");
    expect_store_error(
        [&] {
          automation::call(std::make_shared<MacroHelper>(), c.member, automation::byref(doc),
                           automation::byref(guid));
        },
        c.kind, c.says);
  }
  EXPECT_FALSE(std::filesystem::exists(missing)) << "a read-only open must not create the file";
}

TEST(macro_helper_store, a_store_locked_by_a_writer_fails_after_a_bounded_wait_then_reads) {
  ScratchDir dir;
  std::string path = dir.file("locked.db");
  testing::write_store(path, {macro("Sales", "{G}", "M")});
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

  auto helper = std::make_shared<MacroHelper>(StoreOptions{300});
  Variant doc(automation::ObjectRef(sqlite_document("Sales", path)));
  auto started = std::chrono::steady_clock::now();
  expect_store_error([&] { automation::call(helper, "MacroRead", automation::byref(doc)); },
                     StoreError::StoreUnavailable, {path, "is locked by another program"});
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::seconds(3));

  // Once the writer is done, the same helper reads, and holds no lock between reads.
  ASSERT_EQ(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(writer);
  EXPECT_EQ(rows_of(automation::call(helper, "MacroRead", automation::byref(doc)), 9).size(), 1u);
  exec_sql(path,
           "BEGIN EXCLUSIVE; INSERT INTO macro (container, guid) VALUES ('Sales', 'x'); COMMIT");
  EXPECT_EQ(rows_of(automation::call(helper, "MacroRead", automation::byref(doc)), 9).size(), 2u);
}

}  // namespace
}  // namespace tarvex::companions::store
