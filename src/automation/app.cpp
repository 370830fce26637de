// The component's application object.
#include "automation/app.h"

#include "automation/error.h"

namespace tarvex::automation {

Variant AppObject::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<AppObject>, 5> kMembers{{
      {"Title", CallKind::Get, [](AppObject& a, Args&) -> Variant { return a.title_; }},
      {"ProductName", CallKind::Get, [](AppObject& a, Args&) -> Variant { return a.project_; }},
      {"Major", CallKind::Get, [](AppObject& a, Args&) -> Variant { return a.major_; }},
      {"Minor", CallKind::Get, [](AppObject& a, Args&) -> Variant { return a.minor_; }},
      {"Revision", CallKind::Get, [](AppObject& a, Args&) -> Variant { return a.revision_; }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

const std::shared_ptr<AppObject>& App() {
  static const auto app = std::make_shared<AppObject>("Tarvex", std::string(kProjectName), 1, 0, 0);
  return app;
}

}  // namespace tarvex::automation
