// The utility companions' error numbers, descriptions and source.
#include "companions/utilities/utility_error.h"

#include <cerrno>
#include <system_error>

namespace tarvex::companions::utilities {

std::string_view usual_description(std::int32_t number) {
  switch (number) {
    case kDiskFull:
      return "Disk full";
    case kPathFileAccessError:
      return "Path/File access error";
    case kPathNotFound:
      return "Path not found";
    default:
      return automation::runtime_description(number);
  }
}

void raise_error(std::string_view class_name, std::int32_t number, std::string_view detail) {
  std::string description(usual_description(number));
  if (!detail.empty()) {
    if (!description.empty()) description += ": ";
    description += detail;
  }
  throw automation::Error(number, automation::qualified_name(kCompanionProject, class_name),
                          std::move(description));
}

void raise_file_error(std::string_view class_name, int errno_value, std::string_view what) {
  std::int32_t number = kPathFileAccessError;
  if (errno_value == ENOENT || errno_value == ENOTDIR) number = kPathNotFound;
  if (errno_value == ENOSPC || errno_value == EDQUOT) number = kDiskFull;
  std::string detail(what);
  detail += ": ";
  detail += std::generic_category().message(errno_value);
  raise_error(class_name, number, detail);
}

}  // namespace tarvex::companions::utilities
