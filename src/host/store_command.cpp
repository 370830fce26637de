// The `tarvex store` sub-command: `create PATH` makes an empty store, `synth PATH ...` a
// synthetic one of a given size with its connection document beside it; both also make the
// store in a PostgreSQL database named by `--connection TEXT` instead of PATH.
#include <fmt/format.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>

#include "automation/error.h"
#include "companions/store/connection_text.h"
#include "companions/store/file_output.h"
#include "host/commands.h"
#include "tools/pg_store.h"
#include "tools/store_builder.h"

namespace tarvex::host {

namespace {

namespace store = tools;
namespace cstore = companions::store;

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

// The connection text of --connection, which must name a PostgreSQL database.
cstore::ConnectionText server_connection(const std::string& text, std::string_view procedure) {
  cstore::Where where{"StoreWriter", procedure};
  cstore::ConnectionText connection = cstore::ConnectionText::parse(text, where);
  if (connection.driver() != cstore::Driver::PostgreSQL) {
    cstore::raise_store_error(cstore::StoreError::BadConnectionText, where,
                              "--connection takes connection text naming Driver=PostgreSQL; give "
                              "a SQLite store as PATH");
  }
  return connection;
}

// The synthetic store on a server: built in a scratch SQLite file, then copied, so that a seed
// gives the same rows on both.
void synthesize_on_server(const std::string& text, const std::string& document,
                          const store::SynthOptions& options) {
  cstore::ConnectionText connection = server_connection(text, "Synthesize");
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "tarvex-synth-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create " + pattern);
  struct Remove {
    fs::path dir;
    ~Remove() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } scratch{pattern};
  const std::string sqlite = (scratch.dir / "store.db").string();
  store::synthesize_store(sqlite, options);
  store::copy_store_to_pg(sqlite, connection);
  cstore::write_file_replacing(
      document, store::connection_document_text(options.location, options.container, text),
      cstore::StoreError::StoreNotWritten, {"StoreWriter", "Synthesize"});
}

// Exactly one of PATH and --connection; --document goes with --connection.
void check_target(const std::string& path, const std::string& connection,
                  const std::string* document) {
  if (path.empty() == connection.empty())
    throw CLI::ValidationError("give either PATH or --connection TEXT");
  if (document && connection.empty() != document->empty())
    throw CLI::ValidationError("--connection and --document go together");
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
  auto create_connection = std::make_shared<std::string>();
  CLI::App* create = group->add_subcommand(
      "create",
      "Create an empty macro store: a SQLite file (PATH must not exist), or the tables in a "
      "PostgreSQL database (none of them may exist)");
  create->add_option("PATH", *create_path, "the store file to create");
  create->add_option("--connection", *create_connection,
                     "connection text of a PostgreSQL database, in place of PATH");
  create->callback([create_path, create_connection] {
    check_target(*create_path, *create_connection, nullptr);
    report_failure("create", [&] {
      if (create_connection->empty()) {
        require_folder_of(*create_path);
        store::create_store(*create_path);
        std::cout << fmt::format("Created the empty store {}\n", *create_path);
      } else {
        store::create_pg_store(server_connection(*create_connection, "Create"));
        std::cout << "Created the empty store's tables\n";
      }
    });
  });

  auto synth_path = std::make_shared<std::string>();
  auto synth_connection = std::make_shared<std::string>();
  auto synth_document = std::make_shared<std::string>();
  auto options = std::make_shared<store::SynthOptions>();
  CLI::App* synth = group->add_subcommand(
      "synth",
      "Create a synthetic macro store (replacing PATH) and its connection document "
      "PATH.connection.xml; the same seed gives the same store");
  synth->add_option("PATH", *synth_path, "the store file to write");
  synth->add_option("--connection", *synth_connection,
                    "connection text of a PostgreSQL database to fill, in place of PATH");
  synth->add_option("--document", *synth_document,
                    "with --connection: the connection document to write");
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
  synth->callback([synth_path, synth_connection, synth_document, options] {
    check_target(*synth_path, *synth_connection, synth_document.get());
    report_failure("synth", [&] {
      require_folder_of(synth_connection->empty() ? *synth_path : *synth_document);
      auto started = std::chrono::steady_clock::now();
      if (synth_connection->empty())
        store::synthesize_store(*synth_path, *options);
      else
        synthesize_on_server(*synth_connection, *synth_document, *options);
      std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
      std::int64_t steps = std::int64_t{options->macros} * options->steps;
      std::cout << fmt::format(
          "Wrote {}: {} macros, {} steps, {} progress messages in {:.2f} s\n"
          "Connection document: {}\n",
          synth_connection->empty() ? *synth_path : "the database", options->macros, steps,
          steps * options->progress, took.count(),
          synth_connection->empty() ? *synth_path + ".connection.xml" : *synth_document);
    });
  });
}

}  // namespace tarvex::host
