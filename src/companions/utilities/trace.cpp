// The trace destination and line format.
#include "companions/utilities/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "automation/convert.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions {

namespace {

struct Sink {
  std::mutex mutex;
  int fd = -1;           // where lines go; -1: nowhere
  bool owns_fd = false;  // a file of ours, closed when the destination changes
  std::atomic<bool> enabled{false};
};

Sink& sink() {
  static Sink s;
  return s;
}

void append_escaped(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "\\n";
      ++i;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
}

}  // namespace

void set_trace_destination(const TraceDestination& destination) {
  int fd = -1;
  if (destination.kind == TraceDestination::Kind::File) {
    fd = ::open(destination.file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
      utilities::raise_file_error("TraceUtility", errno,
                                  "cannot open the trace file '" + destination.file + "'");
    }
  } else if (destination.kind == TraceDestination::Kind::StandardError) {
    fd = STDERR_FILENO;
  }
  Sink& s = sink();
  std::lock_guard lock(s.mutex);
  if (s.owns_fd) ::close(s.fd);
  s.fd = fd;
  s.owns_fd = destination.kind == TraceDestination::Kind::File;
  s.enabled = fd >= 0;
}

bool trace_enabled() {
  return sink().enabled.load(std::memory_order_relaxed);
}

bool write_trace_line(std::string_view line) noexcept {
  try {
    std::string whole;
    whole.reserve(line.size() + 1);
    append_escaped(whole, line);
    whole += '\n';
    Sink& s = sink();
    std::lock_guard lock(s.mutex);
    if (s.fd < 0) return false;
    std::string_view left(whole);
    while (!left.empty()) {
      ssize_t written = ::write(s.fd, left.data(), left.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      left.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::string trace_line(std::string_view level_name, std::string_view project,
                       std::string_view class_name, std::string_view procedure,
                       std::string_view message) {
  std::string line = automation::date_time_text(automation::now_local());
  line.reserve(line.size() + level_name.size() + project.size() + class_name.size() +
               procedure.size() + message.size() + 8);
  line += " [";
  line += level_name;
  line += "] ";
  automation::append_qualified_name(line, project, class_name, procedure);
  line += ": ";
  line += message;
  return line;
}

std::string level_name(std::int32_t level) {
  switch (level) {
    case 1:
      return "Error";
    case 2:
      return "Warning";
    case 3:
      return "Information";
    case 4:
      return "Detail";
    case 5:
      return "Debug";
    default:
      return "Level " + std::to_string(level);
  }
}

}  // namespace tarvex::companions
