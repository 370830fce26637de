// The application object: the running component's display title, project name and version,
// reachable directly and by member name (Title, Major, Minor, Revision, ProductName).
#pragma once

#include <memory>
#include <string>

#include "automation/object.h"

namespace tarvex::automation {

class AppObject : public Object {
 public:
  AppObject(std::string title, std::string project, int major, int minor, int revision)
      : title_(std::move(title)),
        project_(std::move(project)),
        major_(major),
        minor_(minor),
        revision_(revision) {}

  const std::string& title() const { return title_; }
  const std::string& project() const { return project_; }
  int major() const { return major_; }
  int minor() const { return minor_; }
  int revision() const { return revision_; }

  Variant invoke(std::string_view member, CallKind kind, Args& args) override;

 private:
  std::string title_;
  std::string project_;
  int major_;
  int minor_;
  int revision_;
};

// The component's application object. It never changes, so every thread may read it.
const std::shared_ptr<AppObject>& App();

}  // namespace tarvex::automation
