// `tarvex run` on a store on a PostgreSQL server: the same report as from its SQLite twin, a read
// the server refuses, the server stopping in the middle of a report, a writer committing between
// its reads, four reports at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "companions/store/connection_text.h"
#include "companions/store/sqlite_db.h"
#include "host/tarvex_process.h"
#include "support/pg_server.h"
#include "tools/pg_store.h"
#include "tools/store_builder.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
namespace store = tools;
namespace cstore = companions::store;
using host_test::Outcome;
using host_test::slurp;
using test_support::PgDatabase;
using test_support::PgServer;
using test_support::PgSession;

// Makes every read of the macro table wait while a session holds advisory lock 42: a test can
// then act at a known point of a report, after its first read has taken the snapshot.
void gate_macro_reads(const PgDatabase& db) {
  db.exec(
      "ALTER TABLE macro RENAME TO macro_rows;"
      "CREATE FUNCTION gate() RETURNS boolean VOLATILE LANGUAGE plpgsql AS $$ BEGIN "
      "PERFORM pg_advisory_lock_shared(42); PERFORM pg_advisory_unlock_shared(42); "
      "RETURN true; END $$;"
      "CREATE VIEW macro AS SELECT * FROM macro_rows WHERE gate()");
}

// Waits until some session of the server waits at the gate.
void wait_at_gate(PgSession& watcher) {
  for (int i = 0; i < 1500; ++i) {
    if (watcher.value("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND NOT "
                      "granted") != "0")
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  FAIL() << "no report came to the gate";
}

class ServerReports : public ::testing::Test {
 protected:
  // A small synthetic store, changed by `sql`, copied to `db`.
  void fill(const PgDatabase& db, const std::string& sql = {}) {
    store::SynthOptions options;
    options.macros = 4;
    options.steps = 3;
    options.progress = 5;
    const std::string sqlite = (dir_.path() / "store.db").string();
    store::synthesize_store(sqlite, options);
    if (!sql.empty()) {
      cstore::SqliteDb(sqlite, cstore::SqliteDb::Mode::Create, sqlite,
                       cstore::StoreError::StoreNotWritten, {"T", "T"}, 5000)
          .exec(sql.c_str());
    }
    store::copy_store_to_pg(sqlite, cstore::ConnectionText::parse(db.connection_text(), {}));
    std::ofstream(document_, std::ios::binary)
        << store::connection_document_text("SRV", options.container, db.connection_text());
    std::ofstream(sqlite_document_, std::ios::binary) << store::connection_document_text(
        "SRV", options.container, store::sqlite_connection_text(sqlite));
  }

  Outcome run(const std::string& folder) { return run(folder, document_); }
  Outcome run(const std::string& folder, const fs::path& document) {
    return host_test::tarvex({"run", "--quiet", "--param-file",
                              "macrocontainerconnectiondocument=" + document.string(), "--param",
                              "reportfolder=" + (dir_.path() / folder).string(), "--param-bool",
                              "reportmacrostepprogress=true"});
  }

  // The macros part of the report, without the identifiers that differ from run to run.
  std::string macros_of(const std::string& folder) {
    std::string text = slurp(dir_.path() / folder / "MacroReport.html");
    std::size_t start = text.rfind(">Macros<");  // the body's header, after the contents
    EXPECT_NE(start, std::string::npos) << folder;
    static const std::regex ids(R"re((id|href)="#?ID[^"]*")re");
    return std::regex_replace(text.substr(start == std::string::npos ? 0 : start), ids, "");
  }

  // The exported steps of a report: each file's path inside "Macro Steps" with its content.
  std::map<std::string, std::string> exported(const std::string& folder) {
    std::map<std::string, std::string> files;
    const fs::path root = dir_.path() / folder / "Macro Steps";
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_regular_file())
        files[fs::relative(entry.path(), root).string()] = slurp(entry.path());
    }
    return files;
  }

  host_test::TempDir dir_{"tarvex-server"};
  fs::path document_ = dir_.path() / "connection.xml";
  fs::path sqlite_document_ = dir_.path() / "sqlite.xml";
};

// Rows moved by updates and a vacuum: steps of equal position and a step's parameters come in
// the same order as from the file, where they lie where they were written.
TEST_F(ServerReports, a_store_on_the_server_reports_as_its_sqlite_twin_after_update_and_vacuum) {
  PgDatabase db;
  fill(db, "UPDATE macro_step SET position = position / 2");
  db.exec(
      "UPDATE macro_step s SET heading = heading WHERE guid = (SELECT min(guid) FROM macro_step "
      "t WHERE t.macro_guid = s.macro_guid AND t.position = s.position) AND position = 1;"
      "UPDATE macro_step_parameter SET value = value WHERE name = 'source'");
  db.exec("VACUUM FULL");
  ASSERT_EQ(run("server").status, 0);
  ASSERT_EQ(run("file", sqlite_document_).status, 0);
  EXPECT_EQ(macros_of("server"), macros_of("file"));
  EXPECT_EQ(exported("server"), exported("file"));
}

// A view that fails for one step's progress: that step's error row with the server's message,
// the rest of the report and the whole export as from the file.
TEST_F(ServerReports, a_read_the_server_refuses_is_one_error_row_and_the_export_is_complete) {
  PgDatabase db;
  fill(db);
  db.exec(
      "ALTER TABLE macro_step_progress RENAME TO progress_rows;"
      "CREATE VIEW macro_step_progress AS SELECT step_guid, seq, logged_at, message, CASE WHEN "
      "step_guid = (SELECT min(guid) FROM macro_step) THEN progress / 0 ELSE progress END AS "
      "progress, level, component, module, procedure FROM progress_rows");
  ASSERT_EQ(run("server").status, 0);
  ASSERT_EQ(run("file", sqlite_document_).status, 0);
  const std::string report = macros_of("server");
  const std::regex error_row("Error reporting on macro");
  EXPECT_EQ(std::distance(std::sregex_iterator(report.begin(), report.end(), error_row), {}), 1);
  EXPECT_NE(report.find("failed: division by zero"), std::string::npos);
  EXPECT_EQ(exported("server"), exported("file"));
}

TEST_F(ServerReports, a_writer_committing_during_the_report_is_not_seen_by_it) {
  PgDatabase db;
  fill(db);
  gate_macro_reads(db);
  ASSERT_EQ(run("before").status, 0);

  PgSession lock(test_support::shared_pg_server(), db.name());
  lock.exec("SELECT pg_advisory_lock(42)");
  Outcome during;
  std::thread report([&] { during = run("during"); });
  PgSession writer(test_support::shared_pg_server(), db.name());
  wait_at_gate(writer);
  writer.exec(
      "UPDATE macro_rows SET run_state = 'Changed';"
      "INSERT INTO macro_step SELECT guid || '-new', macro_guid, position + 100, 'Added later', "
      "method_name, edit_state, run_state, started, ended, progress, validation_failure_note "
      "FROM macro_step");
  lock.exec("SELECT pg_advisory_unlock(42)");
  report.join();
  ASSERT_EQ(during.status, 0) << during.err;
  EXPECT_EQ(macros_of("during"), macros_of("before"));
  // The exported steps are read after the report, from the same snapshot.
  EXPECT_EQ(exported("during"), exported("before"));

  ASSERT_EQ(run("after").status, 0);
  EXPECT_NE(macros_of("after").find("Added later"), std::string::npos);
  EXPECT_NE(exported("after"), exported("before"));
}

TEST_F(ServerReports, the_server_stopping_mid_report_fails_the_run_and_keeps_the_report) {
  PgServer server;
  PgDatabase db(server);
  fill(db);
  gate_macro_reads(db);
  ASSERT_EQ(run("rep").status, 0);
  const std::string previous = slurp(dir_.path() / "rep" / "MacroReport.html");

  PgSession lock(server, db.name());
  lock.exec("SELECT pg_advisory_lock(42)");
  Outcome stopped;
  std::thread report([&] { stopped = run("rep"); });
  wait_at_gate(lock);
  server.stop();
  report.join();
  EXPECT_EQ(stopped.status, 1);
  EXPECT_EQ(std::count(stopped.err.begin(), stopped.err.end(), '\n'), 1) << stopped.err;
  EXPECT_NE(stopped.err.find("'" + db.name() + "' on the server '" + server.socket_dir()),
            std::string::npos)
      << stopped.err;
  EXPECT_NE(stopped.err.find("lost its connection to the server"), std::string::npos)
      << stopped.err;
  EXPECT_EQ(slurp(dir_.path() / "rep" / "MacroReport.html"), previous);
}

TEST_F(ServerReports, four_reports_at_once_each_equal_their_serial_twin) {
  PgDatabase db;
  fill(db);
  ASSERT_EQ(run("serial").status, 0);
  std::vector<Outcome> outcomes(4);
  std::vector<std::thread> runs;
  for (std::size_t i = 0; i < outcomes.size(); ++i)
    runs.emplace_back([&, i] { outcomes[i] = run("at-once-" + std::to_string(i)); });
  for (std::thread& t : runs) t.join();
  const std::string serial = macros_of("serial");
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    ASSERT_EQ(outcomes[i].status, 0) << outcomes[i].err;
    EXPECT_EQ(macros_of("at-once-" + std::to_string(i)), serial) << i;
  }
}

}  // namespace
}  // namespace tarvex
