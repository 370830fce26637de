// Stand-ins for everything the plug-in meets at its edges: the host's step script and logger,
// the error-logging component, and the companions whose answers the tests need to choose
// (connection document and inspector, run environment, exporter, file system, macro helper).
// The rest are the real companions.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/object.h"
#include "automation/registry.h"
#include "contracts/companions.h"

namespace tarvex::entry::testing {

using automation::ObjectRef;
using automation::Variant;

// The six arguments of one LogAndReRaiseVBError call.
struct LoggedError {
  std::int32_t number = 0;
  bool application_is_app = false;
  std::int32_t line = -1;
  std::string project;
  std::string module;
  std::string procedure;
};

// The six arguments of one LogMacroStepProgressMessage call.
struct ProgressMessage {
  std::string text;
  automation::Kind progress_kind = automation::Kind::Empty;
  std::int32_t progress = 0;
  automation::Kind level_kind = automation::Kind::Empty;
  std::int32_t level = 0;
  std::string project;
  std::string module;
  std::string procedure;
};

// MethodName, and MethodParameters(name).Value; an unknown name raises 5.
class StepScript : public automation::Object {
 public:
  std::string method_name = "tarvex";
  std::map<std::string, Variant> parameters;
  int method_name_reads = 0;

  Variant invoke(std::string_view member, automation::CallKind kind,
                 automation::Args& args) override;
};

class Logger : public automation::Object {
 public:
  std::vector<ProgressMessage> messages;
  Variant invoke(std::string_view member, automation::CallKind kind,
                 automation::Args& args) override;
};

class ConnectionDocument : public contracts::ConnectionDocument {
 public:
  std::vector<std::string> loaded;
  void LoadDocument(const std::string& text) override { loaded.push_back(text); }
  std::string LocationName() override { return "SRV"; }
  std::string ApplicationContainerName() override { return "Sales"; }
  std::string ConnectionString(bool flag) override {
    return flag ? "Database=s.db;Password=********" : "Database=s.db;Password=x";
  }
};

// Reads are appended to `reads`; `fail_on` names a member that raises 5 instead.
class RunEnvironment : public contracts::RunEnvironment {
 public:
  std::vector<std::string> reads;
  std::string fail_on;
  std::string AccountDomain() override { return read("AccountDomain", "DOM"); }
  std::string AccountName() override { return read("AccountName", "alice"); }
  std::string MachineDomain() override { return read("MachineDomain", "CORP"); }
  std::string MachineName() override { return read("MachineName", "host1"); }

 private:
  std::string read(const std::string& member, const std::string& value);
};

// Behaviour chosen per test; by default the text is described as the document's own.
class ConnectionInspector : public contracts::ConnectionInspector {
 public:
  std::function<ObjectRef(const std::string&)> from_text;
  std::function<std::string(const ObjectRef&)> describe;
  std::vector<std::string> texts;
  std::vector<bool> described_nothing;

  ObjectRef ConnectionFromText(const std::string& text) override;
  std::string DescribeConnection(const ObjectRef& connection) override;
};

class MacroStepExporter : public contracts::MacroStepExporter {
 public:
  struct Call {
    ObjectRef document;
    std::string folder;
    ObjectRef logger;
  };
  std::vector<Call> calls;
  bool fail = false;
  void ExportMacroSteps(const ObjectRef& document, const std::string& folder,
                        const ObjectRef& logger) override;
};

// The real file system utility, watched; WriteTextFile can be made to fail.
class FileSystem : public contracts::FileSystemUtility {
 public:
  explicit FileSystem(contracts::FileSystemUtility& real) : real_(real) {}
  std::vector<std::string> prepared;
  bool fail_writes = false;

  void PrepareFolder(const std::string& folder) override;
  std::string CombinePath(const std::string& folder, const std::string& name) override {
    return real_.CombinePath(folder, name);
  }
  std::string FolderOfPath(const std::string& path) override { return real_.FolderOfPath(path); }
  std::string FileNameOfPath(const std::string& path) override {
    return real_.FileNameOfPath(path);
  }
  Variant WriteTextFile(const std::string& text, const std::string& folder,
                        const std::string& file_name) override;

 private:
  contracts::FileSystemUtility& real_;
};

// A macro helper with either no macros or one macro of one step; counts the progress reads.
class MacroHelper : public automation::Object {
 public:
  bool one_macro = false;
  int progress_reads = 0;
  Variant invoke(std::string_view member, automation::CallKind kind,
                 automation::Args& args) override;
};

// Every double installed for one test, over the real companions.
class Doubles {
 public:
  Doubles();
  ~Doubles();

  std::vector<LoggedError> logged;
  std::vector<std::shared_ptr<ConnectionDocument>> documents;
  std::shared_ptr<RunEnvironment> environment = std::make_shared<RunEnvironment>();
  std::shared_ptr<ConnectionInspector> inspector = std::make_shared<ConnectionInspector>();
  std::shared_ptr<MacroStepExporter> exporter = std::make_shared<MacroStepExporter>();
  std::shared_ptr<MacroHelper> helper = std::make_shared<MacroHelper>();
  std::shared_ptr<FileSystem> files;

 private:
  std::vector<std::shared_ptr<void>> scopes_;
};

}  // namespace tarvex::entry::testing
