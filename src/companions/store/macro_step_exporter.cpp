// Exporting macro steps as one XML file a step, in one folder a macro.
#include "companions/store/macro_step_exporter.h"

#include <fmt/format.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <pugixml.hpp>
#include <sstream>
#include <thread>
#include <unordered_set>
#include <vector>

#include "automation/convert.h"
#include "automation/file_path.h"
#include "companions/dom/xml_text.h"
#include "companions/store/export_names.h"
#include "companions/utilities/file_writer.h"
#include "contracts/macro_store_columns.h"

namespace tarvex::companions::store {

namespace {

using automation::Variant;
using contracts::column_index;
using contracts::MacroColumn;
using contracts::ParameterColumn;
using contracts::StepColumn;
namespace fs = std::filesystem;

constexpr Where kWhere{"MacroStepExporter", "ExportMacroSteps"};

std::string text_of(const Variant& value) {
  if (value.is_array() || value.is_object()) return {};
  return automation::to_text(value, automation::NullAs::EmptyText);
}

// An element holding the value as text; a Null value gives an empty element marked null="true".
void append_value(pugi::xml_node parent, const char* name, const Variant& value) {
  pugi::xml_node element = parent.append_child(name);
  if (value.is_null()) {
    element.append_attribute("null") = "true";
    return;
  }
  std::string text = dom::xml_text(text_of(value));
  element.text().set(text.c_str());
}

// The rows of a (column, row) table, or none for the empty value.
std::int32_t row_count(const Variant& table) {
  return table.is_array() ? static_cast<std::int32_t>(table.as_array().bounds(2).count()) : 0;
}

std::string step_file_stem(const Variant& position, const Variant& heading) {
  std::string number = position.kind() == automation::Kind::Long
                           ? fmt::format("{:03}", position.as_long())
                           : text_of(position);
  std::string title = heading.is_null() ? std::string("Untitled step") : text_of(heading);
  return safe_name(fmt::format("{} {}", number, title), "Step");
}

[[noreturn]] void export_failed(const std::string& what, const std::string& path,
                                const std::string& reason) {
  raise_store_error(StoreError::ExportFailed, kWhere,
                    fmt::format("Cannot {} '{}': {}", what, path, reason));
}

[[noreturn]] void export_failed(const utilities::FileWriteError& e) {
  using Step = utilities::FileWriteError::Step;
  switch (e.step()) {
    case Step::OpenFolder:
    case Step::CreateFolder:
      export_failed(
          "create the folder", e.path(),
          e.error() == ENOTDIR ? "a file of that name is in the way" : std::strerror(e.error()));
    case Step::CreateFile:
      export_failed("create a file in the folder", e.path(), std::strerror(e.error()));
    case Step::Write:
    case Step::Replace:
      break;
  }
  export_failed("write", e.path(), std::strerror(e.error()));
}

// The export folder's parent is the caller's to choose and may be a link; the export folder
// and everything below it are the exporter's own, where no link is ever followed.
utilities::OutputFolder open_export_folder(const std::string& folder) {
  std::string trimmed = folder;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  fs::path path = automation::file_path(trimmed);
  std::string name = automation::file_name_text(path.filename());
  fs::path parent = path.parent_path();
  if (name.empty() || name == "." || name == "..") parent = path;
  std::error_code ec;
  if (!parent.empty()) fs::create_directories(parent, ec);
  if (ec) export_failed("create the folder", automation::file_name_text(parent), ec.message());
  auto opened =
      utilities::OutputFolder::open(parent.empty() ? "." : automation::file_name_text(parent));
  if (parent == path) return opened;
  return opened.child(name);
}

// Writes the step files on threads of their own while the store is read: creating ten thousand
// files is most of an export's time, and the system's part of it runs on every core. To anyone
// who looks at the outcome the files are written in the order they are handed in: a write that
// fails ends the export with that file's error once every file handed in before it is written.
// Files handed in after it may have been written meanwhile; none is started once the failure is
// known.
class StepFileWrites {
 public:
  explicit StepFileWrites(unsigned threads) {
    for (unsigned t = 0; t < threads; ++t) threads_.emplace_back([this] { run(); });
  }
  ~StepFileWrites() { wait(); }
  StepFileWrites(const StepFileWrites&) = delete;
  StepFileWrites& operator=(const StepFileWrites&) = delete;

  // Hands in one file; raises the earliest failure once one is known.
  void add(std::shared_ptr<const utilities::OutputFolder> folder, std::string name,
           std::string text) {
    {
      std::unique_lock lock(mutex_);
      room_.wait(lock, [&] { return failure_ || jobs_.size() < kQueued; });
      if (!failure_) {
        jobs_.push_back({next_++, std::move(folder), std::move(name), std::move(text)});
        work_.notify_one();
        return;
      }
    }
    finish();
  }

  // Waits until every file handed in is written; raises the earliest failure.
  void finish() {
    wait();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  // Enough to keep the writers busy, little enough to hold: a step file is a few hundred bytes.
  static constexpr std::size_t kQueued = 256;

  struct Job {
    std::uint64_t order;
    std::shared_ptr<const utilities::OutputFolder> folder;
    std::string name;
    std::string text;
  };

  void wait() {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_)
      if (thread.joinable()) thread.join();
  }

  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_.wait(lock, [&] { return closing_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      room_.notify_one();
      const std::uint64_t order = job.order;
      if (order > failed_at_) continue;  // after a failure: not started
      lock.unlock();
      std::exception_ptr failure;
      try {
        // Not flushed to the disk file by file: the step files are copies of the store that
        // every run writes again, and a flush a file made an export of 10,000 steps about a
        // minute slower. The rename alone keeps a reader from ever seeing half a file.
        job.folder->replace_file(job.name, job.text, utilities::Flush::Later);
      } catch (...) {
        failure = std::current_exception();
      }
      job = {};
      lock.lock();
      if (failure && order < failed_at_) {
        failed_at_ = order;
        failure_ = failure;
        room_.notify_all();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable room_;
  std::deque<Job> jobs_;
  std::uint64_t next_ = 0;
  bool closing_ = false;
  std::uint64_t failed_at_ = std::numeric_limits<std::uint64_t>::max();
  std::exception_ptr failure_;
  std::vector<std::thread> threads_;  // last: they start once everything above is ready
};

}  // namespace

std::string macro_step_xml(const Variant& guid, const Variant& macro_guid, const Variant& position,
                           const Variant& heading, const Variant& method_name,
                           const Variant& parameters) {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node step = document.append_child("macrostep");
  append_value(step, "guid", guid);
  append_value(step, "macroguid", macro_guid);
  append_value(step, "position", position);
  append_value(step, "heading", heading);
  append_value(step, "methodname", method_name);
  pugi::xml_node list = step.append_child("parameters");
  for (std::int32_t r = 0; r < row_count(parameters); ++r) {
    pugi::xml_node parameter = list.append_child("parameter");
    const automation::Array& row = parameters.as_array();
    append_value(parameter, "name", row.at(column_index(ParameterColumn::Name), r));
    append_value(parameter, "value", row.at(column_index(ParameterColumn::Value), r));
  }
  std::ostringstream out;
  document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

void MacroStepExporterImpl::ExportMacroSteps(const automation::ObjectRef& document,
                                             const std::string& folder,
                                             const automation::ObjectRef&) {
  auto doc = automation::object_as<contracts::ConnectionDocument>(document);
  std::string container = doc->ApplicationContainerName();
  auto store = open_macro_store(ConnectionText::parse(doc->ConnectionString(false), kWhere),
                                options_, kWhere);
  try {
    utilities::OutputFolder root = open_export_folder(folder);
    StepFileWrites writes(2);
    try {
      Variant macros = store->read_macros(container);
      UniqueNames folders;
      std::unordered_set<std::string> exported;  // a GUID that the store repeats is exported once
      for (std::int32_t m = 0; m < row_count(macros); ++m) {
        const Variant& macro_guid = macros.as_array().at(column_index(MacroColumn::Guid), m);
        std::string guid_text = text_of(macro_guid);
        if (!exported.insert(guid_text).second) continue;
        const Variant& name = macros.as_array().at(column_index(MacroColumn::Name), m);
        auto macro_folder = std::make_shared<const utilities::OutputFolder>(
            root.child(folders.claim(safe_name(text_of(name), "Unnamed macro"), guid_text)));

        Variant steps = store->read_steps(container, macro_guid);
        UniqueNames files;
        for (std::int32_t s = 0; s < row_count(steps); ++s) {
          const automation::Array& row = steps.as_array();
          auto cell = [&](StepColumn c) -> const Variant& { return row.at(column_index(c), s); };
          const Variant& step_guid = cell(StepColumn::Guid);
          const Variant& position = cell(StepColumn::Position);
          const Variant& heading = cell(StepColumn::Heading);
          std::string file_name =
              files.claim(step_file_stem(position, heading), text_of(step_guid)) + ".xml";
          std::string xml =
              macro_step_xml(step_guid, cell(StepColumn::MacroGuid), position, heading,
                             cell(StepColumn::MethodName), store->read_parameters(step_guid));
          writes.add(macro_folder, std::move(file_name), std::move(xml));
        }
      }
    } catch (...) {
      // A file handed in before this failure may have failed first: its error is the export's.
      writes.finish();
      throw;
    }
    writes.finish();
  } catch (const utilities::FileWriteError& e) {
    export_failed(e);
  }
}

}  // namespace tarvex::companions::store
