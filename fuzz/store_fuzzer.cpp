// Hostile stores: every column of a small SQLite store holds values of any type taken from the
// input (NULL, integers, reals, texts with invalid UTF-8 and control characters, blobs), and a
// whole report runs over it through the plug-in's entry point. The run either ends with a
// well-formed report and well-formed exported steps, all inside the report folder, or raises
// an automation::Error.
#include <sqlite3.h>
#include <unistd.h>
#include <pugixml.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/object.h"
#include "automation/registry.h"
#include "automation/text.h"
#include "companions/registration.h"
#include "contracts/late_bound.h"
#include "entry/server.h"
#include "tools/store_builder.h"

using namespace tarvex;
namespace fs = std::filesystem;

namespace {

using automation::Args;
using automation::CallKind;
using automation::Variant;

class Parameter : public automation::Object {
 public:
  explicit Parameter(Variant value) : value_(std::move(value)) {}
  Variant invoke(std::string_view member, CallKind kind, Args& args) override {
    static constexpr std::array<automation::Member<Parameter>, 1> kMembers{
        {{"Value", CallKind::Get, [](Parameter& p, Args&) { return p.value_; }}}};
    return automation::dispatch(*this, member, kind, args, kMembers);
  }

 private:
  Variant value_;
};

class StepScript : public automation::Object {
 public:
  std::map<std::string, Variant> parameters;
  Variant invoke(std::string_view member, CallKind kind, Args& args) override {
    static constexpr std::array<automation::Member<StepScript>, 2> kMembers{{
        {"MethodName", CallKind::Get, [](StepScript&, Args&) { return Variant("tarvex"); }},
        {"MethodParameters", CallKind::Get,
         [](StepScript& s, Args& a) -> Variant {
           a.expect(1);
           return std::make_shared<Parameter>(s.parameters.at(a[0].as_string()));
         }},
    }};
    return automation::dispatch(*this, member, kind, args, kMembers);
  }
};

class Logger : public automation::Object {
 public:
  Variant invoke(std::string_view, CallKind, Args&) override { return {}; }
};

// Reads the input byte by byte; past its end every byte is 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string bytes(std::size_t n) {
    std::string out;
    while (n-- > 0 && pos_ < size_) out += static_cast<char>(data_[pos_++]);
    return out;
  }
  std::uint64_t word() {
    std::uint64_t w = 0;
    for (int i = 0; i < 8; ++i) w = (w << 8) | byte();
    return w;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

constexpr const char* kContainer = "Sales";
const char* const kKeys[] = {"G0", "G1", "G2"};

// Binds one value of a type the input picks. `key` is what "a key of the store" means for this
// column (a container or one of the GUIDs), so that rows meet each other often enough.
void bind_value(sqlite3_stmt* statement, int index, Input& in, const char* key) {
  std::uint8_t choice = in.byte();
  switch (choice % 7) {
    case 0:
      sqlite3_bind_null(statement, index);
      break;
    case 1:
      sqlite3_bind_int64(statement, index, static_cast<sqlite3_int64>(in.word()));
      break;
    case 2: {
      std::uint64_t bits = in.word();
      double number;
      std::memcpy(&number, &bits, sizeof number);
      sqlite3_bind_double(statement, index, number);
      break;
    }
    case 3: {
      std::string text = in.bytes(in.byte());
      sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
      break;
    }
    case 4: {
      std::string blob = in.bytes(in.byte() % 16);
      sqlite3_bind_blob(statement, index, blob.data(), static_cast<int>(blob.size()),
                        SQLITE_TRANSIENT);
      break;
    }
    case 5:  // a date-time text, possibly damaged
      sqlite3_bind_text(statement, index, "2024-03-31 02:30:00", -1, SQLITE_STATIC);
      break;
    default:
      sqlite3_bind_text(statement, index, key ? key : kKeys[choice % 3], -1, SQLITE_TRANSIENT);
      break;
  }
}

void fill(sqlite3* db, const char* sql, int columns, int rows, Input& in,
          const std::vector<const char*>& keys) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) std::abort();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      bind_value(statement, c + 1, in, c < static_cast<int>(keys.size()) ? keys[c] : nullptr);
    }
    sqlite3_step(statement);  // a NULL in a NOT NULL column drops the row: still a store
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  }
  sqlite3_finalize(statement);
}

void build_store(const std::string& path, Input& in) {
  fs::remove(path);
  tools::create_store(path);
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  // nullptr among the keys: a key column whose "key" choice picks one of the GUIDs.
  fill(db,
       "INSERT INTO macro (container, guid, name, edit_state, run_state, next_item, last_start, "
       "last_completion, failure_note, execution_command) VALUES (?,?,?,?,?,?,?,?,?,?)",
       10, 1 + in.byte() % 4, in, {kContainer, nullptr});
  fill(db,
       "INSERT INTO macro_step (guid, macro_guid, position, heading, method_name, edit_state, "
       "run_state, started, ended, progress, validation_failure_note) VALUES "
       "(?,?,?,?,?,?,?,?,?,?,?)",
       11, in.byte() % 5, in, {nullptr, nullptr});
  fill(db, "INSERT INTO macro_step_parameter (step_guid, name, value) VALUES (?,?,?)", 3,
       in.byte() % 4, in, {nullptr});
  fill(db,
       "INSERT INTO macro_step_progress (step_guid, seq, logged_at, message, progress, level, "
       "component, module, procedure) VALUES (?,?,?,?,?,?,?,?,?)",
       9, in.byte() % 5, in, {nullptr});
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// Everything the run wrote is under `folder`: the only other entries of its parents are ours.
void expect_only(const fs::path& folder, const std::vector<std::string>& names) {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    ++count;
    bool known = false;
    for (const std::string& name : names) known = known || entry.path().filename() == name;
    if (!known) std::abort();
  }
  if (count != names.size()) std::abort();
}

void expect_well_formed(const fs::path& path) {
  pugi::xml_document parsed;
  if (!parsed.load_file(path.c_str())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool registered = (companions::register_companions(), entry::DllRegisterServer(), true);
  (void)registered;
  static const fs::path work =
      fs::temp_directory_path() / ("tarvex_fuzz_store_" + std::to_string(::getpid()));
  static bool cleanup = (std::atexit([] { fs::remove_all(work); }), true);
  (void)cleanup;
  const fs::path nest = work / "a";
  const fs::path folder = nest / "rep";
  fs::remove_all(work);
  fs::create_directories(nest);
  const std::string store = (work / "s.db").string();

  Input in(data, size);
  build_store(store, in);

  auto script = std::make_shared<StepScript>();
  script->parameters["macrocontainerconnectiondocument"] =
      tools::connection_document_text("SRV", kContainer, tools::sqlite_connection_text(store));
  script->parameters["reportfolder"] = folder.string();
  script->parameters["reportmacrostepprogress"] = true;

  automation::ObjectRef plugin = automation::create_object(contracts::kImplementationProgId);
  try {
    automation::call(plugin, "Execute", automation::ObjectRef(script),
                     automation::ObjectRef(std::make_shared<Logger>()));
  } catch (const automation::Error& e) {
    if (e.description().empty()) std::abort();
    return 0;
  }
  expect_only(work, {"a", "s.db"});
  expect_only(nest, {"rep"});
  expect_only(folder, {"MacroReport.html", "Macro Steps"});
  expect_well_formed(folder / "MacroReport.html");
  for (const auto& entry : fs::recursive_directory_iterator(folder / "Macro Steps")) {
    if (entry.is_regular_file()) expect_well_formed(entry.path());
  }
  return 0;
}
