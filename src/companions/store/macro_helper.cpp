// The macro database helper's member table and its one open store.
#include "companions/store/macro_helper.h"

#include <array>

#include "contracts/companions.h"

namespace tarvex::companions::store {

namespace {

using automation::Args;
using automation::CallKind;
using automation::Member;
using automation::Variant;

constexpr std::string_view kModule = "Helper";

// Runs one operation. Whatever fails in it (a wrong argument, a store that cannot be opened, a
// read the store refuses) leaves with the helper's source for `procedure`, number and
// description kept: the store was opened by whichever operation came first.
template <class F>
Variant run(std::string_view procedure, F&& body) {
  try {
    return body();
  } catch (...) {
    automation::Error error = automation::error_from_current_exception();
    throw automation::Error(error.number(),
                            automation::qualified_name(kStoreProject, kModule, procedure),
                            error.description());
  }
}

}  // namespace

MacroStoreDriver& MacroHelper::driver(const Variant& document, std::string_view procedure,
                                      std::string& container) {
  auto doc = automation::object_as<contracts::ConnectionDocument>(document);
  container = doc->ApplicationContainerName();
  std::string text = doc->ConnectionString(false);
  if (!driver_ || text != connection_text_) {
    driver_.reset();
    Where where{kModule, procedure};
    driver_ = open_macro_store(ConnectionText::parse(text, where), options_, where);
    connection_text_ = std::move(text);
  }
  return *driver_;
}

Variant MacroHelper::invoke(std::string_view member, CallKind kind, Args& args) {
  using Self = MacroHelper;
  static constexpr std::array<Member<Self>, 3> kMembers{{
      {"MacroRead", CallKind::Method,
       [](Self& self, Args& a) -> Variant {
         return run("MacroRead", [&] {
           a.expect(1, 2);
           std::string container;
           MacroStoreDriver& store = self.driver(a[0], "MacroRead", container);
           return a.has(1) ? store.read_macro(container, a[1]) : store.read_macros(container);
         });
       }},
      {"MacroStepReadInformationForMacro", CallKind::Method,
       [](Self& self, Args& a) -> Variant {
         return run("MacroStepReadInformationForMacro", [&] {
           a.expect(2);
           std::string container;
           MacroStoreDriver& store =
               self.driver(a[0], "MacroStepReadInformationForMacro", container);
           return store.read_steps(container, a[1]);
         });
       }},
      {"MacroStepProgressRead", CallKind::Method,
       [](Self& self, Args& a) -> Variant {
         return run("MacroStepProgressRead", [&] {
           a.expect(2);
           std::string container;
           MacroStoreDriver& store = self.driver(a[0], "MacroStepProgressRead", container);
           return store.read_progress(a[1]);
         });
       }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::companions::store
