// Building macro stores, for the host's `store` and `demo` commands and the tests (the plug-in
// never writes a store): the rows, a writer that fills a store in one transaction, the empty
// store of `tarvex store create`, the deterministic synthetic store of `tarvex store synth`,
// and the connection document that goes beside a store.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace tarvex::tools {

using Text = std::optional<std::string>;  // nullopt stores NULL

struct MacroRow {
  std::string container;
  std::string guid;
  Text name, edit_state, run_state, next_item;
  Text last_start, last_completion;  // "YYYY-MM-DD HH:MM:SS" local time, or NULL
  Text failure_note, execution_command;
};

// The step's progress column has no declared type: it keeps whatever it is given.
using AnyValue = std::variant<std::monostate, std::int64_t, double, std::string>;

struct StepRow {
  std::string guid;
  std::string macro_guid;
  std::int64_t position = 0;
  Text heading, method_name, edit_state, run_state;
  Text started, ended;
  AnyValue progress;
  Text validation_failure_note;
};

struct ParameterRow {
  std::string step_guid;
  std::string name;
  Text value;
};

struct ProgressRow {
  std::string step_guid;
  std::int64_t seq = 0;
  Text logged_at, message;
  std::optional<double> progress;
  std::optional<std::int64_t> level;
  Text component, module, procedure;
};

// Fills a store in one transaction: rows go in through insert_*, and commit() makes them the
// store's. A writer destroyed without commit() leaves the store as it was. Failures raise
// StoreNotWritten naming the store. One implementation a kind of database.
class StoreWriter {
 public:
  virtual ~StoreWriter() = default;
  virtual void insert_macro(const MacroRow& row) = 0;
  virtual void insert_step(const StepRow& row) = 0;
  virtual void insert_parameter(const ParameterRow& row) = 0;
  virtual void insert_progress(const ProgressRow& row) = 0;
  virtual void commit() = 0;
};

// The SQLite store file at `path`. The constructor opens (or creates) the file, creates the
// tables that are missing and begins the transaction; commit() adds the missing indexes too.
class SqliteStoreWriter final : public StoreWriter {
 public:
  // Scratch: for a new file that is thrown away if building fails; no journal and no flushes
  // to the disk, which makes a large store several times faster to build.
  enum class Mode { Safe, Scratch };
  explicit SqliteStoreWriter(const std::string& path, Mode mode = Mode::Safe);
  ~SqliteStoreWriter() override;
  SqliteStoreWriter(const SqliteStoreWriter&) = delete;
  SqliteStoreWriter& operator=(const SqliteStoreWriter&) = delete;

  void insert_macro(const MacroRow& row) override;
  void insert_step(const StepRow& row) override;
  void insert_parameter(const ParameterRow& row) override;
  void insert_progress(const ProgressRow& row) override;
  void commit() override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// An empty store with the schema and its indexes. Refuses a path where a file already exists.
void create_store(const std::string& path);

// A store built from scratch by `fill` in a temporary file beside `path` (scratch mode), then
// put in place of `path`, replacing an earlier file. On failure `path` is left as it was and
// the temporary file is removed. Raises StoreNotWritten naming the path.
void build_store(const std::string& path, const std::function<void(StoreWriter&)>& fill);

struct SynthOptions {
  std::int32_t macros = 0;
  std::int32_t steps = 0;     // per macro
  std::int32_t progress = 0;  // messages per step
  std::uint64_t seed = 1;
  std::string container = "Sales";
  std::string location = "SRV";
  // Each progress message this many times over: longer messages.
  std::int32_t message_repeat = 1;
};

// A store of synthetic macros, the same for the same options, built in a temporary file beside
// `path` and then put in its place (an earlier file at `path` is replaced); then the
// connection document `path` + ".connection.xml" with Database= `path` as given.
void synthesize_store(const std::string& path, const SynthOptions& options);

// The text of a connection document.
std::string connection_document_text(const std::string& location, const std::string& container,
                                     const std::string& connection);
// The connection text of a SQLite store at `path`.
std::string sqlite_connection_text(const std::string& path);

}  // namespace tarvex::tools
