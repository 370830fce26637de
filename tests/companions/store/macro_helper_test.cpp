// The macro database helper on small stores built here, through each driver: shapes, order and
// values of its reads, and stores and servers that cannot be read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fmt/format.h>

#include <chrono>
#include <map>
#include <vector>

#include "automation/convert.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/store/macro_helper.h"
#include "contracts/late_bound.h"
#include "store_test_support.h"
#include "support/pg_server.h"
#include "tools/pg_store.h"

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
  // Stored after its equal in position, before it by GUID.
  writer.insert_step(step("{S-Z0}", "{G-ZETA}", 2, std::monostate{}));
  // A step listed twice among its macro's steps.
  writer.insert_step(step("{S-D1}", "{G-DUP}", 1, std::monostate{}));
  writer.insert_step(step("{S-D2}", "{G-DUP}", 2, std::monostate{}));
  writer.insert_step(step("{S-D1}", "{G-DUP}", 3, std::monostate{}));
  writer.insert_step(step("{S-A1}", "{G-ALPHA}", 1, std::monostate{}));
  writer.insert_step(step("{S-O1}", "{G-OTHER}", 1, std::int64_t{5}));

  ProgressRow later{"{S-Z1}",    2, "2025-03-03 01:01:00", "Processed 10 of 10 rows",
                    100.0,       3, "Loader_83",           "basLoad",
                    "ImportRows"};
  ProgressRow earlier{"{S-Z1}",    1, "2025-03-03 01:00:30", "Opened the source",
                      12.5,        4, std::nullopt,          std::nullopt,
                      std::nullopt};
  writer.insert_progress(later);
  writer.insert_progress(earlier);
  for (auto [step, seq] : {std::pair{"{S-Z3}", 1},
                           {"{S-Z2}", 3},
                           {"{S-Z2}", 1},
                           {"{S-Z2}", 2},
                           {"{S-D1}", 4},
                           {"{S-D1}", 5},
                           {"{S-D1}", 6},
                           {"{S-D2}", 7},
                           {"{S-A1}", 5}})
    writer.insert_progress({step, seq, {}, "m", {}, {}, {}, {}, {}});
  writer.commit();
}

// The same store on each driver: built in SQLite, copied to a server for PostgreSQL.
class MacroHelperTest : public ::testing::TestWithParam<Driver> {
 protected:
  void SetUp() override {
    companions::register_companions();
    build_small_store(path_);
    helper_ = automation::create_object("Stepstore_83.Helper");
    std::string connection = sqlite_connection_text(path_);
    if (GetParam() == Driver::PostgreSQL) {
      server_db_ = std::make_unique<test_support::PgDatabase>();
      tools::copy_store_to_pg(path_,
                              ConnectionText::parse(server_db_->connection_text(), {"T", "T"}));
      // A key that libpq does not know is ignored, as drivers ignore keys they do not use.
      connection = server_db_->connection_text() + ";Flavour=ignored";
    }
    doc_ = Variant(automation::ObjectRef(testing::connection_document("Sales", connection)));
  }

  // The step's progress column: SQLite keeps the stored type, the server's is text.
  std::string step_progress(const std::string& sqlite_cell) const {
    if (GetParam() == Driver::SQLite || sqlite_cell == "Null") return sqlite_cell;
    return "String:" + sqlite_cell.substr(sqlite_cell.find(':') + 1);
  }

  ScratchDir dir_;
  std::string path_ = dir_.file("store.db");
  std::unique_ptr<test_support::PgDatabase> server_db_;
  automation::ObjectRef helper_;
  Variant doc_;
};

TEST_P(MacroHelperTest, macro_read_lists_the_container_in_name_then_guid_order) {
  Rows rows = rows_of(automation::call(helper_, "MacroRead", automation::byref(doc_)), 9);
  std::vector<std::string> names, guids;
  for (const auto& row : rows) {
    guids.push_back(row[0]);
    names.push_back(row[1]);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Null", "String:Alpha", "String:Dup", "String:Dup",
                                             "String:Same", "String:Same", "String:Zeta",
                                             "String:alpha", "String:\xC3\x84rger"}));
  EXPECT_EQ(guids[4], "String:{G-SAME-A}");
  EXPECT_EQ(guids[5], "String:{G-SAME-B}");
  // Dates become Date values, NULLs Null, a damaged date stays text, an empty text stays.
  EXPECT_EQ(rows[6], (std::vector<std::string>{
                         "String:{G-ZETA}", "String:Zeta", "String:Ready", "String:Completed",
                         "String:Step 2", "Date:2025-03-03 01:00:00", "Date:2025-03-03 01:05:30",
                         "Null", "String:run zeta"}));
  EXPECT_EQ(rows[1][5], "String:yesterday");
  EXPECT_EQ(rows[1][7], "String:");
  EXPECT_EQ(rows[1][6], "Null");

  // One macro's rows, asked for alone and after the list was read.
  for (bool listed : {false, true}) {
    SCOPED_TRACE(listed);
    auto helper = std::make_shared<MacroHelper>();
    if (listed) automation::call(helper, "MacroRead", automation::byref(doc_));
    for (auto [guid, count] : {std::pair{"{G-ZETA}", 1u}, {"{G-DUP}", 2u}, {"{G-OTHER}", 0u}}) {
      Variant g(guid);
      Variant one =
          automation::call(helper, "MacroRead", automation::byref(doc_), automation::byref(g));
      EXPECT_EQ(one.is_empty() ? 0u : rows_of(one, 9).size(), count) << guid;
      if (count == 1) {
        EXPECT_EQ(rows_of(one, 9)[0], rows[6]);
      }
    }
  }
}

TEST_P(MacroHelperTest, steps_come_by_position_then_guid_once_each_and_only_for_the_container) {
  Variant guid("{G-ZETA}");
  Rows rows = rows_of(automation::call(helper_, "MacroStepReadInformationForMacro",
                                       automation::byref(doc_), automation::byref(guid)),
                      11);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{
                         "String:{S-Z1}", "String:{G-ZETA}", "String:Step 1", "String:sqlquery",
                         "Null", "String:Completed", "Date:2025-03-03 01:00:00",
                         "Date:2025-03-03 01:01:59", "Long:1", step_progress("Long:100"), "Null"}));
  EXPECT_EQ(rows[1][0], "String:{S-Z0}");
  EXPECT_EQ(rows[2][0], "String:{S-Z2}");
  EXPECT_EQ(rows[2][7], "String:soon");
  EXPECT_EQ(rows[2][9], step_progress("Double:37.5"));
  EXPECT_EQ(rows[2][10], "String:Parameter 'target' is missing");
  EXPECT_EQ(rows[3][9], "String:n/a");
  EXPECT_EQ(rows[3][6], "Null");

  struct Case {
    const char* guid;
    std::size_t rows;
  };
  const Case cases[] = {{"{G-DUP}", 3}, {"{G-OTHER}", 0}, {"{nope}", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.guid);
    Variant other(c.guid);
    Variant result = automation::call(helper_, "MacroStepReadInformationForMacro",
                                      automation::byref(doc_), automation::byref(other));
    if (c.rows == 0)
      EXPECT_TRUE(result.is_empty()) << cell(result);
    else
      EXPECT_EQ(rows_of(result, 11).size(), c.rows);
  }
}

// Through batches of two rows, the macros listed first: a macro read after the one before it
// in the list (Dup after Alpha), one read out of that order (Zeta); a step filling a batch, a
// step spanning two, a step starting inside one; a step asked for again, one listed twice, one
// of another macro, one skipped to.
TEST_P(MacroHelperTest, progress_comes_by_seq_however_the_steps_are_asked_for) {
  auto helper = std::make_shared<MacroHelper>(StoreOptions{5000, 2});
  struct Read {
    const char* list;  // the macro whose steps are read first, if any
    const char* step;
    const char* seqs;
  };
  const Read reads[] = {{"{G-ALPHA}", "{S-A1}", "5"},  {"{G-DUP}", "{S-D1}", "4 5 6"},
                        {nullptr, "{S-D2}", "7"},      {nullptr, "{S-D1}", "4 5 6"},
                        {"{G-ZETA}", "{S-Z1}", "1 2"}, {nullptr, "{S-Z2}", "1 2 3"},
                        {nullptr, "{S-Z3}", "1"},      {nullptr, "{S-Z1}", "1 2"},
                        {nullptr, "{S-D1}", "4 5 6"},  {"{G-ZETA}", "{S-Z3}", "1"}};
  automation::call(helper, "MacroRead", automation::byref(doc_));
  for (const Read& r : reads) {
    SCOPED_TRACE(r.step);
    Variant step(r.step);
    if (r.list) {
      Variant macro(r.list);
      automation::call(helper, "MacroStepReadInformationForMacro", automation::byref(doc_),
                       automation::byref(macro));
    }
    Rows rows = rows_of(automation::call(helper, "MacroStepProgressRead", automation::byref(doc_),
                                         automation::byref(step)),
                        8);
    std::string seqs;
    for (const auto& row : rows) seqs += (seqs.empty() ? "" : " ") + row[0].substr(5);
    EXPECT_EQ(seqs, r.seqs);
    if (std::string(r.step) == "{S-Z1}") {
      ASSERT_FALSE(rows.empty());
      EXPECT_EQ(rows[0], (std::vector<std::string>{"Long:1", "Date:2025-03-03 01:00:30",
                                                   "String:Opened the source", "Double:12.5",
                                                   "Long:4", "Null", "Null", "Null"}));
    }
  }
}

// Every step's progress as a report reads it, macro after macro in the list's order, through
// batches of two rows, read ahead or not: its seqs, or the error's source and description.
std::map<std::string, std::string> read_every_step(Variant& doc, bool read_ahead = true) {
  auto helper = std::make_shared<MacroHelper>(StoreOptions{5000, 2, read_ahead});
  std::map<std::string, std::string> seen;
  Variant macros = automation::call(helper, "MacroRead", automation::byref(doc));
  for (std::int32_t m = 0; m <= macros.as_array().bounds(2).upper; ++m) {
    Variant guid = macros.as_array().at(0, m);
    Variant steps = automation::call(helper, "MacroStepReadInformationForMacro",
                                     automation::byref(doc), automation::byref(guid));
    for (std::int32_t s = 0; steps.is_array() && s <= steps.as_array().bounds(2).upper; ++s) {
      Variant step = steps.as_array().at(0, s);
      std::string& outcome = seen[fmt::format("{} {} {}", m, s, automation::to_text(step))];
      auto error = test_support::error_of([&] {
        Variant rows = automation::call(helper, "MacroStepProgressRead", automation::byref(doc),
                                        automation::byref(step));
        for (const auto& row : rows.is_empty() ? Rows{} : rows_of(rows, 8))
          outcome += row[0].substr(5) + " ";
      });
      if (error) outcome = error->source() + ": " + error->description();
    }
  }
  return seen;
}

// A view that cannot compute one step's rows, among the rows of the next macro asked for ahead
// (Dup's, while Alpha is read) or of the macro being read (Zeta's; the cursor sorts, so its first
// batch fails); in SQLite, among the steps read ahead. Each time only that step fails, and every
// later read goes on.
TEST_P(MacroHelperTest, a_read_the_store_refuses_fails_its_step_alone) {
  const std::map<std::string, std::string> whole = read_every_step(doc_, false);
  const bool server = GetParam() == Driver::PostgreSQL;
  auto exec = [&](const std::string& sql) {
    if (server)
      server_db_->exec(sql);
    else
      testing::exec_sql(path_, sql);
  };
  exec("ALTER TABLE macro_step_progress RENAME TO progress_rows");
  for (const char* failing : {"{S-D1}", "{S-Z2}", "{S-Z3}"}) {
    SCOPED_TRACE(failing);
    // Dividing by zero is an error on the server only; SQLite fails on an integer overflow.
    const std::string fault = server ? "seq / 0" : "abs(-9223372036854775807 - 1)";
    if (!server) exec("DROP VIEW IF EXISTS macro_step_progress");
    exec(fmt::format("{} VIEW macro_step_progress AS SELECT step_guid, CASE WHEN step_guid = "
                     "'{}' THEN {} ELSE seq END AS seq, logged_at, message, progress, level, "
                     "component, module, procedure FROM progress_rows",
                     server ? "CREATE OR REPLACE" : "CREATE", failing, fault));
    const std::string refusal =
        server ? "The macro store '" + server_db_->name() + "' on the server '" +
                     test_support::shared_pg_server().socket_dir() + ":" +
                     std::to_string(test_support::shared_pg_server().port()) +
                     "' failed: division by zero"
               : "The macro store '" + path_ + "' cannot be read: integer overflow";
    std::map<std::string, std::string> expected = whole;
    for (auto& [step, outcome] : expected) {
      if (step.ends_with(failing)) outcome = "Stepstore_83.Helper.MacroStepProgressRead: " + refusal;
    }
    EXPECT_EQ(read_every_step(doc_), expected);
  }
}

TEST_P(MacroHelperTest, follows_the_document_to_another_store) {
  ScratchDir other_dir;
  std::string other = other_dir.file("other.db");
  testing::write_store(other, {macro("Sales", "{G-ELSEWHERE}", "Elsewhere")});
  ASSERT_EQ(rows_of(automation::call(helper_, "MacroRead", automation::byref(doc_)), 9).size(), 9u);
  Variant moved(automation::ObjectRef(sqlite_document("Sales", other)));
  Rows rows = rows_of(automation::call(helper_, "MacroRead", automation::byref(moved)), 9);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "String:{G-ELSEWHERE}");
}

INSTANTIATE_TEST_SUITE_P(Drivers, MacroHelperTest,
                         ::testing::Values(Driver::SQLite, Driver::PostgreSQL),
                         [](const auto& info) { return std::string(driver_name(info.param)); });

// Every table is checked when the store is opened, so each of these fails the first read.
TEST(macro_helper_store, servers_that_cannot_be_read_fail_naming_server_database_and_reason) {
  const test_support::PgServer& server = test_support::shared_pg_server();
  const std::string port = std::to_string(server.port());
  const std::string role = "r" + std::to_string(getpid());
  const std::string secret = "Right-Secret-" + role;
  // The server's socket folder at another port: nothing can listen there.
  const std::string no_server = server.socket_dir();
  const std::string other_port = std::to_string(server.port() + 1);
  {
    test_support::PgDatabase db, renamed;
    ScratchDir dir;
    testing::write_store(dir.file("s.db"), {macro("Sales", "{G}", "M")});
    for (const auto* to : {&db, &renamed})
      tools::copy_store_to_pg(dir.file("s.db"),
                              ConnectionText::parse(to->connection_text(), {"T", "T"}));
    renamed.exec("ALTER TABLE macro_step_progress RENAME TO progress_old");
    db.exec("CREATE ROLE " + role + " LOGIN PASSWORD '" + secret +
            "'; GRANT SELECT ON macro, macro_step, macro_step_progress TO " + role);
    const std::string tcp = "Driver=PostgreSQL;Host=127.0.0.1;Port=" + port +
                            ";Database=" + db.name() + ";User=" + role + ";Password=";
    struct Case {
      const char* name;
      std::string connection;
      std::vector<std::string> says;
    };
    const Case cases[] = {
        {"not running",
         "Driver=PostgreSQL;Host=" + no_server + ";Port=" + other_port +
             ";Database=macros;Password=" + secret,
         {"'macros' on the server '" + no_server + ":" + other_port + "' cannot be opened",
          "No such file"}},
        {"wrong password",
         tcp + "Wrong-Secret-" + role,
         {"'127.0.0.1:" + port + "' cannot be opened", "password authentication failed"}},
        {"no rights on one table",
         tcp + secret,
         {"cannot be read", "permission denied for table macro_step_parameter"}},
        // The server repeats the database name, here the password too: it is masked.
        {"password echoed",
         "Driver=PostgreSQL;Host=" + server.socket_dir() + ";Port=" + port + ";User=postgres;" +
             "Database=" + secret + ";Password=" + secret,
         {"database \"********\" does not exist"}},
        {"no progress table",
         renamed.connection_text() + ";Password=" + secret,
         {"'" + renamed.name() + "'", "is not a macro store",
          "\"macro_step_progress\" does not exist"}},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Variant doc(automation::ObjectRef(testing::connection_document("Sales", c.connection)));
      auto call = [&] {
        automation::call(std::make_shared<MacroHelper>(), "MacroRead", automation::byref(doc));
      };
      expect_store_error(call, StoreError::StoreUnavailable, c.says);
      auto error = test_support::error_of(call);
      ASSERT_TRUE(error);
      EXPECT_EQ(error->description().find("Secret"), std::string::npos) << error->description();
    }
  }
  server.exec("postgres", "DROP ROLE " + role);
}

TEST(macro_helper_store, stores_that_cannot_be_read_fail_naming_the_store_and_the_reason) {
  ScratchDir dir;
  std::string missing = dir.file("missing.db");
  std::string without_progress = dir.file("no-progress.db");
  testing::write_store(without_progress, {macro("Sales", "{G}", "M")});
  exec_sql(without_progress, "DROP TABLE macro_step_progress");

  struct Case {
    const char* name;
    std::string connection;
    std::vector<std::string> says;
  };
  const Case cases[] = {
      {"missing file", sqlite_connection_text(missing), {missing, "does not exist"}},
      {"no progress table",
       sqlite_connection_text(without_progress),
       {without_progress, "is not a macro store: no such table: macro_step_progress"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variant doc(automation::ObjectRef(testing::connection_document("Sales", c.connection)));
    expect_store_error(
        [&] {
          automation::call(std::make_shared<MacroHelper>(), "MacroRead", automation::byref(doc));
        },
        StoreError::StoreUnavailable, c.says);
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
