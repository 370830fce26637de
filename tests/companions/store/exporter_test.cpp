// The macro step exporter: the files it writes and what they hold, names that stay inside the
// export folder, collisions, containers kept apart and links planted between runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fstream>
#include <functional>
#include <pugixml.hpp>

#include "automation/text.h"
#include "companions/store/export_names.h"
#include "companions/store/macro_step_exporter.h"
#include "store_test_support.h"

namespace tarvex::companions::store {
namespace {

namespace fs = std::filesystem;
using testing::macro;
using testing::ScratchDir;
using testing::sqlite_document;
using testing::step;
using testing::write_store;

using test_support::file_text;
using test_support::files_below;
using Files = std::map<std::string, std::string>;
using ::testing::Key;
using ::testing::UnorderedElementsAre;

void export_store(const std::string& store, const std::string& container, const fs::path& to) {
  MacroStepExporterImpl exporter;
  exporter.ExportMacroSteps(sqlite_document(container, store), to.string(), nullptr);
}

TEST(macro_step_exporter, writes_one_folder_a_macro_and_one_file_a_step) {
  ScratchDir dir;
  std::string store = dir.file("store.db");
  write_store(store, {macro("Sales", "{M1}", "Nightly Load"), macro("Other", "{M9}", "Not ours")},
              {step("{S2}", "{M1}", 2, "Load facts & <totals>"), step("{S1}", "{M1}", 1, "Extract"),
               step("{S9}", "{M9}", 1, "Other step")},
              {{"{S2}", "target", "dw.facts"},
               {"{S2}", "filter", "b"},
               {"{S2}", "filter", "a"},
               {"{S2}", "filter", std::nullopt}});
  fs::path out = dir.path() / "Macro Steps";
  export_store(store, "Sales", out);
  Files files = files_below(out);
  EXPECT_THAT(files, UnorderedElementsAre(Key("Nightly Load/001 Extract.xml"),
                                          Key("Nightly Load/002 Load facts & _totals_.xml")));

  pugi::xml_document xml;
  std::string text = files["Nightly Load/002 Load facts & _totals_.xml"];
  ASSERT_TRUE(xml.load_string(text.c_str())) << text;
  pugi::xml_node root = xml.child("macrostep");
  EXPECT_STREQ(root.child_value("guid"), "{S2}");
  EXPECT_STREQ(root.child_value("macroguid"), "{M1}");
  EXPECT_STREQ(root.child_value("position"), "2");
  EXPECT_STREQ(root.child_value("heading"), "Load facts & <totals>");
  EXPECT_STREQ(root.child_value("methodname"), "sqlquery");
  std::vector<std::pair<std::string, std::string>> parameters;
  for (pugi::xml_node p : root.child("parameters").children("parameter")) {
    std::string value = p.child("value").attribute("null").as_bool()
                            ? "<null>"
                            : std::string(p.child_value("value"));
    parameters.emplace_back(p.child_value("name"), value);
  }
  // By name, then value, NULL first: never in the order they were stored.
  EXPECT_EQ(parameters,
            (std::vector<std::pair<std::string, std::string>>{
                {"filter", "<null>"}, {"filter", "a"}, {"filter", "b"}, {"target", "dw.facts"}}));
}

// The files are written on threads of their own, yet a file that cannot be written ends the
// export naming it, after every file of the steps before it.
TEST(macro_step_exporter, a_file_that_cannot_be_written_ends_the_export_after_those_before_it) {
  ScratchDir dir;
  std::string store = dir.file("store.db");
  std::vector<tools::MacroRow> macros;
  std::vector<tools::StepRow> steps;
  for (int m = 1; m <= 4; ++m) {
    const std::string guid = "{M" + std::to_string(m) + "}";
    macros.push_back(macro("Sales", guid, "Macro " + std::to_string(m)));
    for (int s = 1; s <= 50; ++s)
      steps.push_back(step(guid + std::to_string(s), guid, s, "Step"));
  }
  write_store(store, macros, steps);
  fs::path out = dir.path() / "Macro Steps";
  export_store(store, "Sales", out);
  ASSERT_EQ(files_below(out).size(), 200u);

  fs::remove_all(out);
  const fs::path blocked = out / "Macro 3" / "020 Step.xml";
  fs::create_directories(blocked / "in the way");
  testing::expect_store_error([&] { export_store(store, "Sales", out); }, StoreError::ExportFailed,
                              {"Cannot write '" + blocked.string() + "'"});
  for (int m = 1; m <= 3; ++m) {
    for (int s = 1; s < (m == 3 ? 20 : 51); ++s) {
      const fs::path file = out / ("Macro " + std::to_string(m)) / fmt::format("{:03} Step.xml", s);
      EXPECT_TRUE(fs::is_regular_file(file)) << file;
    }
  }
}

TEST(export_names, safe_name_cleans_cuts_and_falls_back) {
  struct Case {
    std::string raw;
    std::string safe;
  };
  const Case cases[] = {
      {"Nightly Load", "Nightly Load"},
      {"../../x", "_.._x"},
      {"a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h"},
      {std::string("a\0b\tc", 5), "a_b_c"},
      {"...", "fallback"},
      {"  trailing dots.. ", "trailing dots"},
      {"CON", "_CON"},
      {"COM0", "COM0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    EXPECT_EQ(safe_name(c.raw, "fallback"), c.safe);
  }
  // Long texts are cut by characters and bytes, never inside a character.
  std::string euros;
  for (int i = 0; i < 100; ++i) euros += "\xE2\x82\xAC";  // three bytes each
  std::string cut = safe_name(euros, "f");
  EXPECT_EQ(cut.size(), 150u);
  EXPECT_EQ(automation::char_count(cut), 50u);
  EXPECT_EQ(automation::char_count(safe_name(std::string(300, 'a'), "f")), kNameMaxChars);
}

TEST(export_names, unique_names_never_repeat_whatever_the_case) {
  UniqueNames names;
  EXPECT_EQ(names.claim("Load", "{G1}"), "Load");
  EXPECT_EQ(names.claim("load", "{G2}"), "load {G2}");
  EXPECT_EQ(names.claim("Load", "{G2}"), "Load {G2} (2)");
  EXPECT_EQ(names.claim("Load", "{G2}"), "Load {G2} (3)");
  EXPECT_EQ(names.claim("Load", "../x"), "Load _x");
}

TEST(macro_step_exporter, equal_names_get_their_own_folders_and_files) {
  ScratchDir dir;
  std::string store = dir.file("store.db");
  // {A} is held twice: it is exported once.
  write_store(store,
              {macro("Sales", "{A}", "Load"), macro("Sales", "{B}", "Load"),
               macro("Sales", "{C}", std::nullopt), macro("Sales", "{A}", "Load")},
              {step("{S1}", "{A}", 1, "Same"), step("{S2}", "{A}", 1, "Same"),
               step("{S3}", "{B}", 1, std::nullopt), step("{S4}", "{C}", 7, "Only")});
  fs::path out = dir.path() / "out";
  export_store(store, "Sales", out);
  EXPECT_THAT(files_below(out),
              UnorderedElementsAre(Key("Load/001 Same.xml"), Key("Load/001 Same {S2}.xml"),
                                   Key("Load {B}/001 Untitled step.xml"),
                                   Key("Unnamed macro/007 Only.xml")));
}

// Links planted in the export folder between two runs: none is written through; only the
// export folder's parent, which the caller chose, may be a link.
TEST(macro_step_exporter, a_planted_link_never_steers_the_export) {
  ScratchDir dir;
  std::string store = dir.file("store.db");
  write_store(store, {macro("Sales", "{A}", "Load")}, {step("{S1}", "{A}", 1, "Extract")});
  const fs::path elsewhere = dir.path() / "elsewhere";
  fs::create_directories(elsewhere);
  { std::ofstream(elsewhere / "001 Extract.xml") << "not yours"; }
  const fs::path out = dir.path() / "report" / "Macro Steps";
  const fs::path file = out / "Load" / "001 Extract.xml";
  export_store(store, "Sales", out);
  const std::string exported = file_text(file);

  const std::pair<const char*, std::function<void()>> plants[] = {
      {"a macro's folder",
       [&] {
         fs::remove_all(out / "Load");
         fs::create_directory_symlink(elsewhere, out / "Load");
       }},
      {"a step file",
       [&] {
         fs::remove(file);
         fs::create_symlink(elsewhere / "001 Extract.xml", file);
       }},
      {"the export folder",
       [&] {
         fs::remove_all(out);
         fs::create_directory_symlink(elsewhere, out);
       }},
      {"a macro's folder, dangling",
       [&] {
         fs::remove_all(out / "Load");
         fs::create_directory_symlink(dir.path() / "nowhere", out / "Load");
       }},
  };
  for (const auto& [where, plant] : plants) {
    SCOPED_TRACE(where);
    plant();
    export_store(store, "Sales", out);
    EXPECT_FALSE(fs::is_symlink(out) || fs::is_symlink(out / "Load") || fs::is_symlink(file));
    EXPECT_EQ(file_text(file), exported);
    EXPECT_EQ(files_below(elsewhere), (Files{{"001 Extract.xml", "not yours"}}));
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
  }

  fs::create_directory_symlink(elsewhere, dir.path() / "chosen");
  export_store(store, "Sales", dir.path() / "chosen" / "Macro Steps");
  EXPECT_EQ(file_text(elsewhere / "Macro Steps" / "Load" / "001 Extract.xml"), exported);

  // What is neither a folder nor a link is the user's: refused, not replaced.
  fs::remove_all(out / "Load");
  { std::ofstream(out / "Load") << "mine"; }
  testing::expect_store_error([&] { export_store(store, "Sales", out); }, StoreError::ExportFailed,
                              {(out / "Load").string(), "a file of that name is in the way"});
  EXPECT_EQ(file_text(out / "Load"), "mine");
}

}  // namespace
}  // namespace tarvex::companions::store
