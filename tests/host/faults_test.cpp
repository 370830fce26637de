// `tarvex run` against faults and hostile data, as an unattended host meets them: a report
// folder that cannot be written, a full disk, a damaged or foreign store, texts that are not
// text, names that try to leave the export folder, markup in the data and a password in the
// connection (the very large store and message are scale runs in bench/scale). Each run ends with
// one clear error line (and the report that was there before, untouched) or with a complete,
// well-formed report.
#include <gtest/gtest.h>
#include <unistd.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/tarvex_process.h"
#include "tools/store_builder.h"

namespace {

namespace fs = std::filesystem;
namespace store = tarvex::tools;

using tarvex::host_test::Outcome;
using tarvex::host_test::shell_quoted;
using tarvex::host_test::slurp;

void write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every regular file under `folder` (recursively) with its content.
std::vector<std::pair<fs::path, std::string>> files_under(const fs::path& folder) {
  std::vector<std::pair<fs::path, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.emplace_back(entry.path(), slurp(entry.path()));
  }
  return files;
}

class Faults : public ::testing::Test {
 protected:
  Faults() : dir(tarvex::host_test::make_temp_dir("tarvex-faults")) {
    report_folder = dir / "rep";
    report = report_folder / "MacroReport.html";
  }
  ~Faults() override { fs::remove_all(dir); }

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

  // The report parses, and the exported steps do too; returns the parsed report.
  pugi::xml_document expect_well_formed() {
    pugi::xml_document document;
    pugi::xml_parse_result parsed = document.load_file(report.c_str());
    EXPECT_TRUE(parsed) << parsed.description();
    for (const auto& [path, text] : files_under(report_folder / "Macro Steps")) {
      pugi::xml_document step;
      EXPECT_TRUE(step.load_string(text.c_str())) << path;
    }
    return document;
  }

  // No file of an interrupted write is left in the report folder.
  void expect_no_leftovers() {
    for (const auto& entry : fs::directory_iterator(report_folder)) {
      std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "MacroReport.html" || name == "Macro Steps") << name;
    }
  }

  fs::path dir, report_folder, report;

 private:
  int documents_ = 0;
};

TEST_F(Faults, unusable_report_folder_is_a_clear_error_and_writes_nothing) {
  fs::path good = document_for(store::sqlite_connection_text(synth("s.db", 2, 1, 1).string()));
  struct Case {
    std::string folder;
    std::string says;
  };
  const Case cases[] = {
      {"/proc/self", "cannot create a file in the folder '/proc/self'"},
      {"", "no folder name was given"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    expect_error(run(good, c.folder), c.says);
  }
}

TEST_F(Faults, full_disk_fails_the_save_and_keeps_the_previous_report) {
  fs::path store_path = synth("s.db", 20, 2, 5);
  ASSERT_EQ(run_store(store_path).status, 0);
  const std::string before = slurp(report);
  ASSERT_GT(before.size(), 20000u);

  // Files may grow to half the report: the save runs out of room. A host ignores SIGXFSZ, so
  // the write fails with EFBIG rather than killing the process.
  std::string limit =
      "trap '' XFSZ; exec prlimit --fsize=" + std::to_string(before.size() / 2) + " ";
  Outcome o = run_store(store_path, {}, limit);
  expect_error(o, "File too large");
  EXPECT_NE(o.err.find("MacroReport.html"), std::string::npos) << o.err;
  EXPECT_EQ(slurp(report), before);
  expect_no_leftovers();
}

TEST_F(Faults, damaged_or_foreign_store_keeps_the_previous_report) {
  fs::path good = synth("good.db", 3, 2, 2);
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> damage;
    const char* says;  // nullptr: the store may still be read in part
  };
  auto copy_and = [&](std::function<void(std::fstream&)> edit) {
    return [&good, edit](const fs::path& path) {
      fs::copy_file(good, path);
      std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
      edit(file);
    };
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
      {"garbled header", copy_and([](std::fstream& f) { f << std::string(40, 'X'); }),
       "is not a SQLite database"},
      {"garbled pages", copy_and([](std::fstream& f) {
         f.seekp(4096);
         for (int i = 0; i < 8192; ++i) f.put(static_cast<char>((i * 7919) % 251));
       }),
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(report_folder);
    ASSERT_EQ(run_store(good).status, 0);
    const std::string before = slurp(report);
    fs::path damaged = dir / (std::string(c.name) + ".db");
    c.damage(damaged);
    Outcome o = run_store(damaged);
    if (c.says || o.status != 0) {
      expect_error(o, c.says ? c.says : "The macro store '" + damaged.string() + "'");
      EXPECT_NE(o.err.find(damaged.string()), std::string::npos) << o.err;
      EXPECT_EQ(slurp(report), before);
    } else {
      expect_well_formed();
    }
  }
}

// Markup, quotes, control characters, invalid UTF-8 (a stray continuation byte, a lone lead
// byte, an encoded surrogate) and the end of a CDATA section.
const std::string kHostile =
    "<script>alert('x')</script> & \"q\" ]]> \x01\x02\x1b\x7f \xff\xfe \xc3( \xed\xa0\x80 end";
const std::string kScript = "<script>alert('x')</script>";
constexpr const char* kTime = "2024-03-30 10:00:00";

TEST_F(Faults, hostile_text_in_every_column_comes_out_as_text) {
  const fs::path path = dir / "hostile.db";
  {
    store::SqliteStoreWriter writer(path.string());
    const std::string& h = kHostile;
    writer.insert_macro({"Sales", "G1", h, h, h, h, kTime, kTime, h, h});
    // Damaged date-times too: they fail only their own macro's or step's row.
    writer.insert_macro({"Sales", "G2", "Dates " + h, h, h, h, h, h, h, h});
    writer.insert_step({"S1", "G1", 1, h, h, h, h, kTime, kTime, h, h});
    writer.insert_step({"S2", "G1", 2, h, h, h, h, h, h, std::int64_t{7}, h});
    writer.insert_parameter({"S1", h, h});
    writer.insert_progress({"S1", 1, kTime, h, 50.0, 4, h, h, h});
    writer.insert_progress({"S1", 2, h, h, 60.0, 9, h, h, h});
    writer.commit();
  }
  Outcome o = run_store(path);
  ASSERT_EQ(o.status, 0) << o.err;
  pugi::xml_document document = expect_well_formed();
  EXPECT_TRUE(document.select_nodes("//script").empty());
  std::size_t shown_as_text = 0;
  for (pugi::xpath_node node : document.select_nodes("//text()")) {
    if (std::string(node.node().value()).find(kScript) != std::string::npos) ++shown_as_text;
  }
  // The macro's header and its rows, the step's header and rows, the progress messages.
  EXPECT_GE(shown_as_text, 15u);

  EXPECT_TRUE(tarvex::host_test::valid_xhtml(report));

  bool exported = false;
  for (const auto& [file, text] : files_under(report_folder / "Macro Steps")) {
    pugi::xml_document step;
    ASSERT_TRUE(step.load_string(text.c_str())) << file;
    std::string heading = step.child("macrostep").child_value("heading");
    exported = exported || heading.find(kScript) != std::string::npos;
  }
  EXPECT_TRUE(exported);
}

TEST_F(Faults, no_name_leads_the_export_outside_its_folder) {
  const std::vector<std::string> names = {"..",
                                          ".",
                                          "../../outside",
                                          "/etc/passwd",
                                          std::string("a\0b", 3),
                                          "CON",
                                          "nul.txt",
                                          std::string(300, 'x'),
                                          "x/../../y",
                                          "\\..\\..\\win",
                                          "",
                                          " . . ",
                                          "a\nb"};
  const fs::path path = dir / "names.db";
  {
    store::SqliteStoreWriter writer(path.string());
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::string guid = "G" + std::to_string(i);
      writer.insert_macro({"Sales", guid, names[i], {}, {}, {}, {}, {}, {}, {}});
      writer.insert_step(
          {"S" + std::to_string(i), guid, 1, names[i], names[i], {}, {}, {}, {}, {}, {}});
    }
    writer.commit();
  }
  const fs::path document = document_for(store::sqlite_connection_text(path.string()));
  std::set<fs::path> before;
  for (const auto& entry : fs::directory_iterator(dir)) before.insert(entry.path());

  Outcome o = run(document, report_folder.string());
  ASSERT_EQ(o.status, 0) << o.err;
  expect_well_formed();
  std::set<fs::path> after;
  for (const auto& entry : fs::directory_iterator(dir)) after.insert(entry.path());
  before.insert(report_folder);
  after.insert(dir / "out");
  after.insert(dir / "err");
  before.insert(dir / "out");
  before.insert(dir / "err");
  EXPECT_EQ(after, before);
  EXPECT_FALSE(fs::exists(fs::temp_directory_path() / "outside"));

  const fs::path exports = report_folder / "Macro Steps";
  std::size_t folders = 0;
  for (const auto& entry : fs::directory_iterator(exports)) {
    ++folders;
    EXPECT_TRUE(entry.is_directory()) << entry.path();
    EXPECT_LE(entry.path().filename().string().size(), 255u);
    auto steps = std::distance(fs::directory_iterator(entry.path()), fs::directory_iterator());
    EXPECT_EQ(steps, 1) << entry.path();
  }
  EXPECT_EQ(folders, names.size());
  for (const auto& entry : fs::recursive_directory_iterator(exports)) {
    for (const fs::path& part : fs::relative(entry.path(), exports))
      EXPECT_TRUE(part != ".." && part != ".") << entry.path();
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
      {"unquoted ';' in it", "Database=" + good.string() + ";Password=abc;" + secret, 1},
      {"quote then more", "Database=" + good.string() + ";Password=\"abc\"" + secret, 1},
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
    for (const auto& [file, content] : files_under(report_folder))
      EXPECT_EQ(content.find(secret), std::string::npos) << file;
  }
}

}  // namespace
