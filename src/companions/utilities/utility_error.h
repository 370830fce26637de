// The errors that the utility companions raise: every one carries the source
// "Toolkit_83.<Class>", so a failure in a companion is told apart from one of the system itself.
//
//   number  description                           raised for
//   5       "Invalid procedure call or argument"   an unknown resource key, a bad argument
//   6       "Overflow"                             a duration too large to show
//   13      "Type mismatch"                        a value of the wrong kind, a text that is
//                                                  not a date and time
//   61      "Disk full"                            ENOSPC, EDQUOT
//   75      "Path/File access error"               any other file-system failure
//   76      "Path not found"                       ENOENT, ENOTDIR
//
// Descriptions are the usual text, a colon and the detail (path and operating-system reason).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/error.h"

namespace tarvex::companions::utilities {

inline constexpr std::string_view kCompanionProject = "Toolkit_83";
// The version tag of the installed companions, which replaces "%v" in ProgID templates.
inline constexpr std::string_view kVersionTag = "83";

inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;

// The usual description of `number`: the runtime table, plus the file errors above.
std::string_view usual_description(std::int32_t number);

// Raises `number` with source "Toolkit_83.<class_name>" and "<usual description>: <detail>".
[[noreturn]] void raise_error(std::string_view class_name, std::int32_t number,
                              std::string_view detail);
[[noreturn]] inline void raise_error(std::string_view class_name, automation::RuntimeError code,
                                     std::string_view detail) {
  raise_error(class_name, static_cast<std::int32_t>(code), detail);
}

// Raises the file error that fits the operating system's `errno_value`, with a detail made of
// `what` and the system's reason (strerror).
[[noreturn]] void raise_file_error(std::string_view class_name, int errno_value,
                                   std::string_view what);

}  // namespace tarvex::companions::utilities
