// The stand-ins of entry_doubles.h.
#include "entry_doubles.h"

#include "automation/app.h"
#include "automation/convert.h"
#include "automation/error.h"
#include "automation/guard.h"
#include "automation/text.h"
#include "companions/registration.h"
#include "entry/bas_main.h"

namespace tarvex::entry::testing {

using automation::Args;
using automation::CallKind;
using automation::Member;

namespace {

class Parameter : public automation::Object {
 public:
  explicit Parameter(Variant value) : value_(std::move(value)) {}
  Variant invoke(std::string_view member, CallKind kind, Args& args) override {
    static constexpr std::array<Member<Parameter>, 1> kMembers{
        {{"Value", CallKind::Get, [](Parameter& p, Args&) { return p.value_; }}}};
    return automation::dispatch(*this, member, kind, args, kMembers);
  }

 private:
  Variant value_;
};

// Records what it is given, then raises the error again as the real component does.
class ErrorLogger : public automation::Object {
 public:
  explicit ErrorLogger(std::vector<LoggedError>& log) : log_(log) {}
  Variant invoke(std::string_view member, CallKind kind, Args& args) override {
    static constexpr std::array<Member<ErrorLogger>, 1> kMembers{
        {{"LogAndReRaiseVBError", CallKind::Method, [](ErrorLogger& self, Args& a) -> Variant {
            a.expect(6);
            self.log_.push_back({automation::to_long(automation::get(a[0], "Number")),
                                 a[1].is_object() && a[1].as_object() == automation::App(),
                                 a[2].kind() == automation::Kind::Long ? a[2].as_long() : -1,
                                 automation::to_text(a[3]), automation::to_text(a[4]),
                                 automation::to_text(a[5])});
            automation::call(a[0], "Raise");
            return {};
          }}}};
    return automation::dispatch(*this, member, kind, args, kMembers);
  }

 private:
  std::vector<LoggedError>& log_;
};

// Hands out the macro helper double and leaves every other class to the real factory.
class HelperFactory : public contracts::ObjectFactory {
 public:
  HelperFactory(std::shared_ptr<contracts::ObjectFactory> real, ObjectRef helper)
      : real_(std::move(real)), helper_(std::move(helper)) {}
  ObjectRef CreateVersionedObject(const std::string& progid_template) override {
    if (automation::starts_with(progid_template, "Stepstore_")) return helper_;
    return real_->CreateVersionedObject(progid_template);
  }

 private:
  std::shared_ptr<contracts::ObjectFactory> real_;
  ObjectRef helper_;
};

Variant one_row(std::int32_t columns, std::vector<std::pair<std::int32_t, Variant>> cells) {
  automation::Array table = automation::Array::table(columns, 1);
  for (auto& [column, value] : cells) table.at(column, 0) = std::move(value);
  return table;
}

}  // namespace

Variant StepScript::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<StepScript>, 2> kMembers{{
      {"MethodName", CallKind::Get,
       [](StepScript& s, Args&) -> Variant {
         ++s.method_name_reads;
         return s.method_name;
       }},
      {"MethodParameters", CallKind::Get,
       [](StepScript& s, Args& a) -> Variant {
         auto found = s.parameters.find(automation::to_text(a[0]));
         if (found == s.parameters.end())
           automation::raise(automation::RuntimeError::InvalidProcedureCall, "no such parameter");
         return std::make_shared<Parameter>(found->second);
       }},
  }};
  return automation::dispatch(*this, member, kind, args, kMembers);
}

Variant Logger::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<Logger>, 1> kMembers{
      {{"LogMacroStepProgressMessage", CallKind::Method, [](Logger& l, Args& a) -> Variant {
          a.expect(6);
          l.messages.push_back({automation::to_text(a[0]), a[1].kind(), automation::to_long(a[1]),
                                a[2].kind(), automation::to_long(a[2]), automation::to_text(a[3]),
                                automation::to_text(a[4]), automation::to_text(a[5])});
          return {};
        }}}};
  return automation::dispatch(*this, member, kind, args, kMembers);
}

std::string RunEnvironment::read(const std::string& member, const std::string& value) {
  reads.push_back(member);
  if (member == fail_on) automation::raise(automation::RuntimeError::InvalidProcedureCall, member);
  return value;
}

ObjectRef ConnectionInspector::ConnectionFromText(const std::string& text) {
  texts.push_back(text);
  if (from_text) return from_text(text);
  return std::make_shared<automation::Object>();
}

std::string ConnectionInspector::DescribeConnection(const ObjectRef& connection) {
  described_nothing.push_back(connection == nullptr);
  if (describe) return describe(connection);
  return "Connection Properties:\r\nDatabase: s.db";
}

void MacroStepExporter::ExportMacroSteps(const ObjectRef& document, const std::string& folder,
                                         const ObjectRef& logger) {
  calls.push_back({document, folder, logger});
  if (fail) automation::raise(automation::RuntimeError::InvalidProcedureCall, "export refused");
}

void FileSystem::PrepareFolder(const std::string& folder) {
  prepared.push_back(folder);
  real_.PrepareFolder(folder);
}

Variant FileSystem::WriteTextFile(const std::string& text, const std::string& folder,
                                  const std::string& file_name) {
  if (fail_writes) automation::raise(automation::RuntimeError::InvalidProcedureCall, "disk full");
  return real_.WriteTextFile(text, folder, file_name);
}

Variant MacroHelper::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<MacroHelper>, 3> kMembers{{
      {"MacroRead", CallKind::Method,
       [](MacroHelper& h, Args&) -> Variant {
         if (!h.one_macro) return {};
         return one_row(9, {{0, "G1"},
                            {1, "Nightly"},
                            {5, automation::Null{}},
                            {6, automation::Null{}},
                            {7, automation::Null{}},
                            {8, automation::Null{}}});
       }},
      {"MacroStepReadInformationForMacro", CallKind::Method,
       [](MacroHelper&, Args&) -> Variant {
         return one_row(11, {{0, "S1"},
                             {1, "G1"},
                             {2, "Load"},
                             {6, automation::Null{}},
                             {7, automation::Null{}},
                             {10, automation::Null{}}});
       }},
      {"MacroStepProgressRead", CallKind::Method,
       [](MacroHelper& h, Args&) -> Variant {
         ++h.progress_reads;
         return {};
       }},
  }};
  return automation::dispatch(*this, member, kind, args, kMembers);
}

Doubles::Doubles() {
  companions::register_companions();
  auto keep = [&](auto scope) { scopes_.push_back(std::shared_ptr<void>(std::move(scope))); };
  keep(std::make_unique<automation::ScopedProgId>(
      std::string(automation::kErrorLoggerProgId),
      [this] { return std::make_shared<ErrorLogger>(logged); }));
  entry::Main();

  files = std::make_shared<FileSystem>(automation::shared<contracts::FileSystemUtility>());
  keep(std::make_unique<automation::ScopedShared<contracts::FileSystemUtility>>(files));
  keep(std::make_unique<automation::ScopedShared<contracts::ConnectionInspector>>(inspector));
  keep(std::make_unique<automation::ScopedNew<contracts::ConnectionDocument>>([this] {
    documents.push_back(std::make_shared<ConnectionDocument>());
    return documents.back();
  }));
  keep(std::make_unique<automation::ScopedNew<contracts::RunEnvironment>>(
      [this] { return environment; }));
  keep(std::make_unique<automation::ScopedNew<contracts::MacroStepExporter>>(
      [this] { return exporter; }));
  auto real_factory = automation::create_new<contracts::ObjectFactory>();
  keep(std::make_unique<automation::ScopedNew<contracts::ObjectFactory>>(
      [real_factory, this] { return std::make_shared<HelperFactory>(real_factory, helper); }));
}

Doubles::~Doubles() {
  while (!scopes_.empty()) scopes_.pop_back();  // undo in reverse order
}

}  // namespace tarvex::entry::testing
