// `tarvex run` against faults as an unattended host meets them: a full disk, a damaged or
// foreign store and a password in the connection (report folders that cannot be made are the
// file system utility's test, hostile text the fuzzers', the very large store and message scale
// runs in bench/scale). Each run ends with one clear error line and the report that was there
// before untouched, or with a complete, valid report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host/tarvex_process.h"
#include "tools/store_builder.h"

namespace {

namespace fs = std::filesystem;
namespace store = tarvex::tools;

using tarvex::host_test::Outcome;
using tarvex::host_test::slurp;

void write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class Faults : public ::testing::Test {
 protected:
  // A connection document for `connection` text, saved beside the stores.
  fs::path document_for(const std::string& connection) {
    fs::path path = dir / ("c" + std::to_string(documents_++) + ".xml");
    write(path, store::connection_document_text("SRV", "Sales", connection));
    return path;
  }

  fs::path synth(const std::string& name, int macros, int steps, int progress) {
    fs::path path = dir / name;
    store::SynthOptions options;
    options.macros = macros;
    options.steps = steps;
    options.progress = progress;
    store::synthesize_store(path.string(), options);
    return path;
  }

  Outcome run(const fs::path& document, const std::string& folder,
              std::vector<std::string> extra = {}, const std::string& prefix = "") {
    std::vector<std::string> args = {
        "run",          "--quiet",
        "--param-file", "macrocontainerconnectiondocument=" + document.string(),
        "--param",      "reportfolder=" + folder,
        "--param-bool", "reportmacrostepprogress=true"};
    args.insert(args.end(), extra.begin(), extra.end());
    return tarvex::host_test::tarvex(args, {}, prefix);
  }
  Outcome run_store(const fs::path& store_path, std::vector<std::string> extra = {},
                    const std::string& prefix = "") {
    return run(document_for(store::sqlite_connection_text(store_path.string())),
               report_folder.string(), std::move(extra), prefix);
  }

  // A failure as the user sees it: status 1 and one error line holding `says`.
  static void expect_error(const Outcome& o, const std::string& says) {
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_EQ(o.err.rfind("error ", 0), 0u) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_NE(o.err.find(says), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }

  tarvex::host_test::TempDir temp_{"tarvex-faults"};
  const fs::path dir = temp_.path(), report_folder = dir / "rep",
                 report = report_folder / "MacroReport.html";

 private:
  int documents_ = 0;
};

TEST_F(Faults, damaged_or_foreign_store_or_full_disk_keeps_the_previous_report) {
  fs::path good = synth("good.db", 3, 2, 2);
  // A report of several write buffers: the disk fills after part of it went out.
  fs::path large = synth("large.db", 25, 10, 100);
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> damage;
    const char* says;
    bool full_disk = false;
  };
  const Case cases[] = {
      {"empty", [](const fs::path& p) { write(p, ""); }, "is not a macro store"},
      {"text", [](const fs::path& p) { write(p, "macro,guid\n"); }, "is not a SQLite database"},
      {"truncated",
       [&](const fs::path& p) {
         fs::copy_file(good, p);
         fs::resize_file(p, fs::file_size(good) / 2);
       },
       "is damaged"},
      {"full disk", [&](const fs::path& p) { fs::copy_file(large, p); }, "File too large", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(report_folder);
    ASSERT_EQ(run_store(c.full_disk ? large : good).status, 0);
    const std::string before = slurp(report);
    fs::path store = dir / (std::string(c.name) + ".db");
    c.damage(store);
    // Files may grow to half the report: the save runs out of room. A host ignores SIGXFSZ, so
    // the write fails with EFBIG rather than killing the process.
    std::string limit =
        "trap '' XFSZ; exec prlimit --fsize=" + std::to_string(before.size() / 2) + " ";
    Outcome o = run_store(store, {}, c.full_disk ? limit : "");
    expect_error(o, c.says);
    EXPECT_NE(o.err.find(c.full_disk ? report.string() : store.string()), std::string::npos)
        << o.err;
    EXPECT_EQ(slurp(report), before);
    // No file of an interrupted write is left in the report folder.
    for (const auto& entry : fs::directory_iterator(report_folder)) {
      std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "MacroReport.html" || name == "Macro Steps") << name;
    }
  }
}

TEST_F(Faults, password_shows_in_no_report_trace_or_error) {
  const std::string secret = "Pw-S3cr3t-4711";
  const fs::path good = synth("s.db", 2, 1, 1);
  const fs::path trace = dir / "trace.log";
  struct Case {
    const char* name;
    std::string connection;
    int status;
  };
  const Case cases[] = {
      {"reported", "Driver=SQLite;Database=" + good.string() + ";Password=" + secret, 0},
      {"quoted", "password=\"" + secret + ";x\";Database=" + good.string(), 0},
      {"store missing", "Database=" + (dir / "none.db").string() + ";PASSWORD=" + secret, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(report_folder);
    fs::remove(trace);
    Outcome o =
        run(document_for(c.connection), report_folder.string(), {"--trace", trace.string()});
    EXPECT_EQ(o.status, c.status) << o.err;
    EXPECT_EQ(o.err.find(secret), std::string::npos) << o.err;
    EXPECT_EQ(slurp(trace).find(secret), std::string::npos);
    EXPECT_FALSE(slurp(trace).empty());
    if (c.status != 0) continue;
    std::string text = slurp(report);
    EXPECT_EQ(text.find(secret), std::string::npos);
    EXPECT_NE(text.find("Password: ********"), std::string::npos);
    EXPECT_TRUE(tarvex::host_test::valid_xhtml(report));
    for (const auto& [file, content] : tarvex::test_support::files_below(report_folder))
      EXPECT_EQ(content.find(secret), std::string::npos) << file;
  }
}

}  // namespace
