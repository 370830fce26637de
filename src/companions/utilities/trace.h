// The trace: where the companions' diagnostic lines go (nowhere, a file, or standard error),
// chosen once by the host, and the one line format that TraceUtility and the error logger share:
//
//   2026-03-29 14:05:09 [Detail] Tarvex_83.Examiner.GetMacroGUIDs: Reading macros
//
// A line break inside a message is written as "\n" (or "\r"), so one message stays one line.
// Lines are written whole under one lock: lines of several threads never mix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvex::companions {

struct TraceDestination {
  enum class Kind { None, File, StandardError };
  Kind kind = Kind::None;
  std::string file;  // Kind::File only; lines are appended

  static TraceDestination none() { return {}; }
  static TraceDestination to_file(std::string path) { return {Kind::File, std::move(path)}; }
  static TraceDestination standard_error() { return {Kind::StandardError, {}}; }
};

// Process-wide and thread-safe. A file that cannot be opened for appending raises (75 or 76,
// source "Toolkit_83.TraceUtility", naming the file and the reason) and keeps the previous
// destination.
void set_trace_destination(const TraceDestination& destination);

// Whether lines go anywhere at all; callers skip formatting when not.
bool trace_enabled();

// Writes `line` and a line end; false when the destination refused it. Never throws.
bool write_trace_line(std::string_view line) noexcept;

// One line in the format above, time-stamped now.
std::string trace_line(std::string_view level_name, std::string_view project,
                       std::string_view class_name, std::string_view procedure,
                       std::string_view message);

// The display name of a level: 1 "Error", 2 "Warning", 3 "Information", 4 "Detail",
// 5 "Debug"; any other number "Level <n>".
std::string level_name(std::int32_t level);

}  // namespace tarvex::companions
