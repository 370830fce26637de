// The `tarvex demo [DIR]` sub-command: builds the demonstration store and its connection
// document in DIR, runs the report step on them with step progress on and prints where the
// report is. The store is rebuilt from fixed data on every run, so only the report's own
// times change from one run to the next.
#include <fmt/format.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "automation/error.h"
#include "companions/store/file_output.h"
#include "companions/utilities/component_resources.h"
#include "host/commands.h"
#include "host/demo_store.h"
#include "host/step_runner.h"
#include "tools/store_builder.h"

namespace tarvex::host {

namespace {

namespace fs = std::filesystem;
namespace store = companions::store;
namespace tools = tarvex::tools;

// Writes DIR/store.db and DIR/connection.xml; returns the connection document's text. The
// document names the store by its absolute path, so that it works from any folder.
std::string write_demo_store(const fs::path& dir) {
  fs::create_directories(dir);
  const std::string store_path = fs::absolute(dir / "store.db").lexically_normal().string();
  tools::build_store(store_path, fill_demo_store);
  std::string document =
      tools::connection_document_text(std::string(kDemoLocation), std::string(kDemoContainer),
                                      tools::sqlite_connection_text(store_path));
  store::write_file_replacing((dir / "connection.xml").string(), document,
                              store::StoreError::StoreNotWritten, {"Demo", "WriteDocument"});
  return document;
}

void run_demo(const fs::path& dir) {
  std::string document;
  try {
    document = write_demo_store(dir);
  } catch (const automation::Error& e) {
    std::cerr << fmt::format("tarvex demo: {}\n", e.description());
    throw CLI::RuntimeError(1);
  } catch (const std::exception& e) {
    std::cerr << fmt::format("tarvex demo: {}\n", e.what());
    throw CLI::RuntimeError(1);
  }
  const fs::path folder = dir / "report";
  run_step(StepOptions{}, {.values = {{"macrocontainerconnectiondocument", document},
                                      {"reportfolder", folder.string()},
                                      {"reportmacrostepprogress", true}},
                           .options = {}});
  const std::string file_name =
      companions::utilities::ComponentResourcesImpl().GetResourceText("Report File Name");
  std::cout << fmt::format("Report: {}\n", (folder / file_name).string());
}

}  // namespace

void add_demo_command(CLI::App& app) {
  auto dir = std::make_shared<std::string>("demo");
  CLI::App* demo = app.add_subcommand(
      "demo",
      "Build a demonstration store and its connection document in DIR and write their report "
      "into DIR/report");
  demo->add_option("DIR", *dir, "the folder to write into")->capture_default_str();
  demo->callback([dir] { run_demo(*dir); });
}

}  // namespace tarvex::host
