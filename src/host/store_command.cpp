// The `tarvex store` sub-command: `create PATH` makes an empty store, `synth PATH ...` a
// synthetic one of a given size with its connection document beside it.
#include <fmt/format.h>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>

#include "automation/error.h"
#include "host/commands.h"
#include "tools/store_builder.h"

namespace tarvex::host {

namespace {

namespace store = tools;

// Runs one store command; a failure is printed on standard error and ends tarvex with 1.
template <class F>
void report_failure(std::string_view command, F&& body) {
  try {
    body();
  } catch (const automation::Error& e) {
    std::cerr << fmt::format("tarvex store {}: {}\n", command, e.description());
    throw CLI::RuntimeError(1);
  } catch (const std::exception& e) {
    std::cerr << fmt::format("tarvex store {}: {}\n", command, e.what());
    throw CLI::RuntimeError(1);
  }
}

// SQLite's own refusal would name the file (or the temporary file a store is built in) and
// not the cause.
void require_folder_of(const std::string& path) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder))
    throw std::runtime_error(
        fmt::format("the folder '{}' does not exist; create it first", folder.string()));
}

}  // namespace

void add_store_commands(CLI::App& app) {
  CLI::App* group = app.add_subcommand("store", "Create macro stores");
  group->require_subcommand(1);

  auto create_path = std::make_shared<std::string>();
  CLI::App* create =
      group->add_subcommand("create", "Create an empty SQLite macro store (PATH must not exist)");
  create->add_option("PATH", *create_path, "the store file to create")->required();
  create->callback([create_path] {
    report_failure("create", [&] {
      require_folder_of(*create_path);
      store::create_store(*create_path);
      std::cout << fmt::format("Created the empty store {}\n", *create_path);
    });
  });

  auto synth_path = std::make_shared<std::string>();
  auto options = std::make_shared<store::SynthOptions>();
  CLI::App* synth = group->add_subcommand(
      "synth",
      "Create a synthetic macro store (replacing PATH) and its connection document "
      "PATH.connection.xml; the same seed gives the same store");
  synth->add_option("PATH", *synth_path, "the store file to write")->required();
  synth->add_option("--macros", options->macros, "number of macros")
      ->required()
      ->check(CLI::NonNegativeNumber);
  synth->add_option("--steps", options->steps, "steps per macro")
      ->required()
      ->check(CLI::NonNegativeNumber);
  synth->add_option("--progress", options->progress, "progress messages per step")
      ->required()
      ->check(CLI::NonNegativeNumber);
  synth
      ->add_option("--message-repeat", options->message_repeat,
                   "write each progress message this many times over (longer messages)")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  synth->add_option("--seed", options->seed, "seed of the generator")->capture_default_str();
  synth->add_option("--container", options->container, "application container name")
      ->capture_default_str();
  synth->add_option("--location", options->location, "location name")->capture_default_str();
  synth->callback([synth_path, options] {
    report_failure("synth", [&] {
      require_folder_of(*synth_path);
      auto started = std::chrono::steady_clock::now();
      store::synthesize_store(*synth_path, *options);
      std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
      std::int64_t steps = std::int64_t{options->macros} * options->steps;
      std::cout << fmt::format(
          "Wrote {}: {} macros, {} steps, {} progress messages in {:.2f} s\n"
          "Connection document: {}.connection.xml\n",
          *synth_path, options->macros, steps, steps * options->progress, took.count(),
          *synth_path);
    });
  });
}

}  // namespace tarvex::host
