// Synthetic stores: the same for the same seed, of the sizes asked for (`tarvex store synth` and
// `store create` are store_command_test's).
#include <gtest/gtest.h>

#include "companions/store/store_test_support.h"

namespace tarvex::tools {
namespace {

using companions::store::testing::ScratchDir;

// The rows of a query, one text a row with "|" between the columns.
std::vector<std::string> query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::vector<std::string> rows;
  sqlite3_exec(
      db, sql.c_str(),
      [](void* out, int columns, char** values, char**) {
        std::string row;
        for (int i = 0; i < columns; ++i) {
          if (i) row += '|';
          row += values[i] ? values[i] : "NULL";
        }
        static_cast<std::vector<std::string>*>(out)->push_back(row);
        return 0;
      },
      &rows, nullptr);
  sqlite3_close(db);
  return rows;
}

std::vector<std::string> whole_store(const std::string& path) {
  std::vector<std::string> rows;
  for (const char* table : {"macro", "macro_step", "macro_step_parameter", "macro_step_progress"}) {
    auto part = query(path, std::string("SELECT * FROM ") + table + " ORDER BY rowid");
    rows.insert(rows.end(), part.begin(), part.end());
  }
  return rows;
}

std::string one(const std::string& path, const std::string& sql) {
  auto rows = query(path, sql);
  return rows.size() == 1 ? rows[0] : "<" + std::to_string(rows.size()) + " rows>";
}

TEST(store_builder, synth_is_the_same_for_a_seed_and_has_the_sizes_asked_for) {
  ScratchDir dir;
  SynthOptions options;
  options.macros = 60;
  options.steps = 4;
  options.progress = 3;
  options.seed = 7;
  options.container = "Finance";
  std::string a = dir.file("a.db"), b = dir.file("b.db"), c = dir.file("c.db");
  synthesize_store(a, options);
  synthesize_store(b, options);
  options.seed = 8;
  synthesize_store(c, options);
  EXPECT_EQ(whole_store(a), whole_store(b));
  EXPECT_NE(whole_store(a), whole_store(c));

  EXPECT_EQ(one(a, "SELECT count(*), count(DISTINCT guid) FROM macro WHERE container = 'Finance'"),
            "60|60");
  EXPECT_EQ(one(a, "SELECT count(*), count(DISTINCT guid) FROM macro_step"), "240|240");
  EXPECT_EQ(one(a, "SELECT count(*) FROM macro_step_progress"), "720");
  EXPECT_EQ(one(a,
                "SELECT count(*) FROM macro_step s WHERE NOT EXISTS (SELECT 1 FROM macro m "
                "WHERE m.guid = s.macro_guid)"),
            "0");
  // Longer messages for the same seed: each message three times over, blank-separated.
  options.seed = 7;
  options.message_repeat = 3;
  std::string d = dir.file("d.db");
  synthesize_store(d, options);
  EXPECT_EQ(one(d, "SELECT sum(length(message)) FROM macro_step_progress"),
            one(a, "SELECT 3 * sum(length(message)) + 2 * count(*) FROM macro_step_progress"));
}

}  // namespace
}  // namespace tarvex::tools
