// The synthetic macro store: realistic names, states, times and messages drawn from a seeded
// generator, so that one seed always gives the same store.
#include <fmt/format.h>
#include <array>
#include <span>

#include "automation/convert.h"
#include "companions/store/file_output.h"
#include "tools/store_builder.h"

namespace tarvex::tools {

using companions::store::raise_store_error;
using companions::store::StoreError;
using companions::store::Where;
using companions::store::write_file_replacing;

namespace {

using automation::DateTime;

// splitmix64: small, fast, and the same numbers on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number from 0 to n - 1.
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
  std::int64_t between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(high - low + 1));
  }
  bool chance(std::uint32_t percent) { return below(100) < percent; }
  template <class T>
  const T& pick(std::span<const T> items) {
    return items[below(static_cast<std::uint32_t>(items.size()))];
  }
  std::string guid() {
    std::uint64_t a = next(), b = next();
    return fmt::format("{{{:08X}-{:04X}-{:04X}-{:04X}-{:012X}}}", a >> 32, (a >> 16) & 0xFFFF,
                       a & 0xFFFF, b >> 48, b & 0xFFFFFFFFFFFFull);
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 8> kAreas{"Sales",     "Finance",    "Inventory",
                                                 "Customer",  "Payroll",    "Logistics",
                                                 "Marketing", "Procurement"};
constexpr std::array<std::string_view, 8> kActions{
    "Nightly Load",  "Month-End Close",  "Data Cleansing", "Ledger Reconciliation",
    "Archive Sweep", "Warehouse Export", "Index Rebuild",  "Dashboard Refresh"};
constexpr std::array<std::string_view, 10> kHeadings{"Extract orders from the ERP system",
                                                     "Validate customer master records",
                                                     "Convert amounts to the group currency",
                                                     "Load the sales fact table",
                                                     "Rebuild the monthly aggregates",
                                                     "Send the completion notice",
                                                     "Archive the processed source files",
                                                     "Refresh the report cache",
                                                     "Purge staging tables",
                                                     "Check row counts against the source"};
constexpr std::array<std::string_view, 6> kMethods{"sqlquery",  "filecopy", "mailsend",
                                                   "transform", "archive",  "tarvex"};
constexpr std::array<std::string_view, 4> kEditStates{"Ready", "Ready", "Ready", "Locked"};
constexpr std::array<std::string_view, 5> kComponents{"Loader_83", "Transformer_83", "Mailer_83",
                                                      "Archiver_83", "Checker_83"};
constexpr std::array<std::string_view, 5> kModules{"basLoad", "clsBatch", "basTransfer",
                                                   "clsValidator", "basMain"};
constexpr std::array<std::string_view, 6> kProcedures{"ImportRows",  "CommitBatch", "OpenSource",
                                                      "ValidateRow", "Execute",     "CloseTarget"};
constexpr std::array<std::string_view, 4> kFailures{
    "Violation of PRIMARY KEY constraint 'PK_orders'. Cannot insert duplicate key in object "
    "'dbo.orders'. The duplicate key value is (100482).",
    "The network path \\\\fs01\\exchange\\inbound was not found. Check that the share exists "
    "and that the service account can read it.",
    "Timeout expired after 600 seconds while waiting for the lock on table 'stage_invoices'.",
    "The mail server refused the message: 552 Message size exceeds the fixed maximum."};

enum class Outcome { Completed, Failed, NeverRun, Running, Cancelled };

Outcome draw_outcome(Random& random) {
  std::uint32_t n = random.below(100);
  if (n < 70) return Outcome::Completed;
  if (n < 82) return Outcome::Failed;
  if (n < 90) return Outcome::NeverRun;
  if (n < 95) return Outcome::Running;
  return Outcome::Cancelled;
}

std::string_view outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::Completed:
      return "Completed";
    case Outcome::Failed:
      return "Failed";
    case Outcome::NeverRun:
      return "Never Run";
    case Outcome::Running:
      return "Running";
    case Outcome::Cancelled:
      return "Cancelled";
  }
  return {};
}

std::string stamp(std::int64_t seconds) {
  return automation::date_time_text(DateTime{seconds});
}

template <class T, std::size_t N>
std::span<const T> all(const std::array<T, N>& items) {
  return items;
}

void fill(StoreWriter& writer, const SynthOptions& options) {
  Random random(options.seed);
  const std::int64_t base = automation::make_date_time(2025, 3, 3, 1, 0, 0).local_seconds;
  for (std::int32_t m = 0; m < options.macros; ++m) {
    MacroRow macro;
    macro.container = options.container;
    macro.guid = random.guid();
    std::string area(random.pick(all(kAreas)));
    if (!random.chance(1)) {
      macro.name = fmt::format("{} {} {:04}", area, random.pick(all(kActions)), m + 1);
    }
    macro.edit_state = std::string(random.pick(all(kEditStates)));
    Outcome outcome = draw_outcome(random);
    macro.run_state = std::string(outcome_name(outcome));
    if (random.chance(60)) macro.next_item = fmt::format("Step {}", random.between(1, 12));
    std::uint32_t command = random.below(10);
    if (command < 6) {
      macro.execution_command =
          fmt::format("macrorun --container {} --macro \"{}\" --notify ops-{}@example.com",
                      options.container, macro.name.value_or(""), area);
    } else if (command < 7) {
      macro.execution_command = "";
    }
    // Where the macro stops: the failing, cancelled or running step.
    std::int32_t stop =
        options.steps > 0
            ? static_cast<std::int32_t>(random.below(static_cast<std::uint32_t>(options.steps)))
            : 0;
    std::int64_t start = base + std::int64_t{m} * 900 + random.between(0, 600);
    std::int64_t clock = start;
    bool ran = outcome != Outcome::NeverRun;
    if (ran) macro.last_start = stamp(start);

    std::vector<StepRow> steps;
    for (std::int32_t s = 0; s < options.steps; ++s) {
      StepRow step;
      step.guid = random.guid();
      step.macro_guid = macro.guid;
      step.position = s + 1;
      step.heading = std::string(random.pick(all(kHeadings)));
      step.method_name = std::string(random.pick(all(kMethods)));
      step.edit_state = std::string(random.pick(all(kEditStates)));
      bool before_stop = outcome == Outcome::Completed || s < stop;
      std::int64_t length = random.between(5, 900);
      if (ran && before_stop) {
        step.run_state = "Completed";
        step.started = stamp(clock);
        step.ended = stamp(clock + length);
        step.progress = std::int64_t{100};
        clock += length + random.between(0, 5);
      } else if (ran && s == stop) {
        step.run_state = std::string(outcome_name(outcome));
        step.started = stamp(clock);
        if (outcome == Outcome::Running) {
          step.progress = static_cast<double>(random.between(1, 999)) / 10.0;
        } else {
          step.ended = stamp(clock + length);
          step.progress = random.between(0, 99);
          clock += length;
        }
      } else {
        step.run_state = "Not Run";
        step.progress = std::int64_t{0};
      }
      if (random.chance(2)) {
        step.validation_failure_note = fmt::format(
            "Parameter 'target' names the table 'stage_{}' which does not exist.", area);
      }
      steps.push_back(std::move(step));
    }
    if (outcome == Outcome::Completed) macro.last_completion = stamp(clock);
    if (outcome == Outcome::Failed || outcome == Outcome::Cancelled) {
      macro.last_completion = stamp(clock);
      if (outcome == Outcome::Failed) {
        macro.failure_note =
            fmt::format("Step {} failed: {}", stop + 1, random.pick(all(kFailures)));
      }
    }
    writer.insert_macro(macro);

    for (StepRow& step : steps) {
      writer.insert_step(step);
      writer.insert_parameter(
          {step.guid, "source", fmt::format("{}.orders_{}", area, step.position)});
      writer.insert_parameter({step.guid, "target",
                               random.chance(5) ? Text{} : Text{fmt::format("dw.{}_facts", area)}});
      std::int64_t logged =
          step.started ? automation::parse_date_time(*step.started)->local_seconds : start - 86400;
      std::int64_t total = random.between(1000, 250000);
      for (std::int32_t p = 0; p < options.progress; ++p) {
        ProgressRow row;
        row.step_guid = step.guid;
        row.seq = p + 1;
        logged += random.between(0, 20);
        row.logged_at = stamp(logged);
        double share = static_cast<double>(p + 1) / options.progress;
        row.progress = automation::round_half_even(share * 100.0, 2);
        std::uint32_t kind = random.below(20);
        if (kind == 0) {
          row.level = 2;
          row.message = fmt::format("Row {} skipped: the customer number is missing",
                                    random.between(1, total));
        } else if (kind == 1) {
          row.level = 1;
          row.message = "Retrying after a lock timeout on the target table";
        } else {
          row.level = kind < 8 ? 3 : 4;
          row.message =
              fmt::format("Processed {} of {} rows",
                          static_cast<std::int64_t>(share * static_cast<double>(total)), total);
        }
        if (options.message_repeat > 1) {
          const std::string once = *row.message;
          for (std::int32_t r = 1; r < options.message_repeat; ++r) *row.message += " " + once;
        }
        row.component = std::string(random.pick(all(kComponents)));
        row.module = std::string(random.pick(all(kModules)));
        row.procedure = std::string(random.pick(all(kProcedures)));
        writer.insert_progress(row);
      }
    }
  }
}

}  // namespace

void synthesize_store(const std::string& path, const SynthOptions& options) {
  Where where{"StoreWriter", "Synthesize"};
  if (options.macros < 0 || options.steps < 0 || options.progress < 0) {
    raise_store_error(StoreError::StoreNotWritten, where,
                      "The numbers of macros, steps and progress messages cannot be negative");
  }
  build_store(path, [&options](StoreWriter& writer) { fill(writer, options); });
  write_file_replacing(
      path + ".connection.xml",
      connection_document_text(options.location, options.container, sqlite_connection_text(path)),
      StoreError::StoreNotWritten, where);
}

}  // namespace tarvex::tools
