// Several hosts' threads running whole reports at once, over
// the real companions: every report must equal the one the same store gives when it runs alone,
// apart from header identifiers and the time of the run.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <latch>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "automation/error.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "contracts/late_bound.h"
#include "entry/server.h"
#include "entry_doubles.h"
#include "support/test_support.h"
#include "tools/store_builder.h"

namespace tarvex::entry {
namespace {

namespace fs = std::filesystem;

using test_support::file_text;
using test_support::files_below;

// The report without what differs from run to run: the generated header identifiers (ids and
// the links to them), the time in the title and the "Report generated at" value.
std::string comparable_report(const fs::path& path) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_file(path.c_str())) << path;
  pugi::xml_node title = document.child("html").child("head").child("title");
  std::string text = title.child_value();
  title.text().set(text.substr(0, text.rfind(" at ")).c_str());
  for (pugi::xpath_node cell : document.select_nodes("//td[. = 'Report generated at']"))
    cell.node().next_sibling("td").text().set("");
  std::ostringstream out;
  document.save(out);
  static const std::regex kId(
      "ID[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-"
      "[0-9A-Fa-f]{12}");
  return std::regex_replace(out.str(), kId, "ID");
}

class ConcurrentReports : public ::testing::Test {
 protected:
  static constexpr int kThreads = 4;

  ConcurrentReports() {
    companions::register_companions();
    DllRegisterServer();
    for (int i = 0; i < kThreads; ++i) {
      tools::SynthOptions options;
      options.macros = 4 + i;
      options.steps = 2;
      options.progress = 3;
      options.seed = static_cast<std::uint64_t>(i + 1);
      options.container = "Sales" + std::to_string(i);
      tools::synthesize_store(store(i), options);
    }
  }
  std::string store(int i) const { return (dir_ / fmt::format("s{}.db", i)).string(); }

  // One whole report of store `i` into `folder`, as a host thread runs it: the plug-in object
  // is made on this thread, so start-up and the shared companions are this thread's own.
  static void run_report(const std::string& store, const fs::path& folder,
                         std::vector<std::string>& failures) {
    try {
      auto script = std::make_shared<testing::StepScript>();
      script->parameters["macrocontainerconnectiondocument"] = file_text(store + ".connection.xml");
      script->parameters["reportfolder"] = folder.string();
      script->parameters["reportmacrostepprogress"] = true;
      auto logger = std::make_shared<testing::Logger>();
      automation::ObjectRef plugin = automation::create_object(contracts::kImplementationProgId);
      automation::call(plugin, "Execute", automation::ObjectRef(script),
                       automation::ObjectRef(logger));
      if (logger->messages.size() != 2) failures.push_back(folder.string() + ": messages");
    } catch (const automation::Error& e) {
      failures.push_back(folder.string() + ": " + e.description());
    }
  }

  test_support::ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
};

// Half the threads run a store each into a folder of their own, the other half store 0 into one
// shared folder, where what is left must be one whole report and whole step files.
TEST_F(ConcurrentReports, each_report_equals_its_single_threaded_twin_even_in_one_folder) {
  std::vector<std::vector<std::string>> failures(2 * kThreads);
  const fs::path shared = dir_ / "shared";
  auto alone = [&](int i) { return dir_ / ("alone" + std::to_string(i)); };
  // Run i reports on store of(i) into folder(i).
  auto of = [](int i) { return i < kThreads ? i : 0; };
  auto folder = [&](int i) {
    return i < kThreads ? dir_ / ("together" + std::to_string(i)) : shared;
  };
  std::latch start(2 * kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < 2 * kThreads; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      run_report(store(of(i)), folder(i), failures[i]);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i)
    std::thread(run_report, store(i), alone(i), std::ref(failures[i])).join();

  for (int i = 0; i < 2 * kThreads; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(failures[i], std::vector<std::string>{});
    std::string report = comparable_report(folder(i) / "MacroReport.html");
    EXPECT_NE(report.find("Sales" + std::to_string(of(i))), std::string::npos);
    EXPECT_EQ(report, comparable_report(alone(of(i)) / "MacroReport.html"));
    auto files = files_below(folder(i) / "Macro Steps");
    EXPECT_EQ(files.size(), static_cast<std::size_t>((4 + of(i)) * 2));
    EXPECT_EQ(files, files_below(alone(of(i)) / "Macro Steps"));
  }
  for (const auto& entry : fs::directory_iterator(shared)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "MacroReport.html" || name == "Macro Steps") << name;
  }
}

}  // namespace
}  // namespace tarvex::entry
