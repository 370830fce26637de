// The file writer. Every call into the operating system sits in `native` below, so that a port
// replaces that part only.
#include "companions/utilities/file_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvex::companions::utilities {

namespace {

// ---- The operating system: POSIX *at calls on open folder descriptors. Failures return -1
// ---- (or false) with errno set.
namespace native {

enum class Entry { Missing, Link, Folder, Other };

int open_folder(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Fails (ELOOP or ENOTDIR) when `name` is a link, whatever it points to.
int open_child_folder(int folder, const std::string& name) {
  return ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int make_child_folder(int folder, const std::string& name) {
  return ::mkdirat(folder, name.c_str(), 0777);
}

Entry entry_kind(int folder, const std::string& name) {
  struct stat status;
  if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return Entry::Missing;
  if (S_ISLNK(status.st_mode)) return Entry::Link;
  return S_ISDIR(status.st_mode) ? Entry::Folder : Entry::Other;
}

// Removes a name that is not a folder (a link itself, not what it points to).
int remove_entry(int folder, const std::string& name) {
  return ::unlinkat(folder, name.c_str(), 0);
}

// A new file; fails with EEXIST when the name is taken, by a link too.
int create_new_file(int folder, const std::string& name) {
  return ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool write_all(int file, std::string_view text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t written = ::write(file, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

int flush(int handle) {
  return ::fsync(handle);
}

int close(int handle) {
  return ::close(handle);
}

// Replaces `to` (a link of that name too, never what it points to) in one step.
int rename_within(int folder, const std::string& from, const std::string& to) {
  return ::renameat(folder, from.c_str(), folder, to.c_str());
}

}  // namespace native
// ---- End of the operating system's part.

using Step = FileWriteError::Step;

// The file system's limit is 255 bytes a name; the temporary name adds 22 to a cut of the
// target's name, cut at a character's start.
std::string temporary_name(const std::string& name) {
  std::size_t cut = std::min<std::size_t>(name.size(), 160);
  while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
    --cut;
  // Random, not a counter: writers in other processes, even other machines sharing the
  // folder, must not pick the same name.
  thread_local std::mt19937_64 random{std::random_device{}()};
  return fmt::format(".{}.{:016x}.tmp", std::string_view(name).substr(0, cut), random());
}

bool plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// A temporary file in an open folder: removed again unless it was renamed into place.
class TemporaryFile {
 public:
  TemporaryFile(int folder, const std::string& folder_path, const std::string& target)
      : folder_(folder) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      name_ = temporary_name(target);
      handle_ = native::create_new_file(folder_, name_);
      if (handle_ >= 0 || errno != EEXIST) break;
    }
    if (handle_ < 0) throw FileWriteError(Step::CreateFile, errno, folder_path);
  }
  ~TemporaryFile() {
    if (handle_ >= 0) native::close(handle_);
    if (!renamed_) native::remove_entry(folder_, name_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // 0, or the error number of the first step that failed.
  int write(std::string_view text, Flush flush) {
    if (!native::write_all(handle_, text)) return errno;
    if (flush == Flush::Now && native::flush(handle_) != 0) return errno;
    int handle = std::exchange(handle_, -1);
    return native::close(handle) == 0 ? 0 : errno;
  }

  int rename_to(const std::string& target) {
    if (native::rename_within(folder_, name_, target) != 0) return errno;
    renamed_ = true;
    return 0;
  }

 private:
  int folder_;
  std::string name_;
  int handle_ = -1;
  bool renamed_ = false;
};

}  // namespace

FileWriteError::FileWriteError(Step step, int error, std::string path)
    : std::runtime_error(fmt::format("cannot write '{}': {}", path, std::strerror(error))),
      step_(step),
      error_(error),
      path_(std::move(path)) {}

std::string path_in(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

OutputFolder OutputFolder::open(const std::string& path) {
  int handle = native::open_folder(path);
  if (handle < 0) throw FileWriteError(Step::OpenFolder, errno, path);
  return OutputFolder(handle, path);
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept {
  std::swap(handle_, other.handle_);
  std::swap(path_, other.path_);
  return *this;
}

OutputFolder::~OutputFolder() {
  if (handle_ >= 0) native::close(handle_);
}

OutputFolder OutputFolder::child(const std::string& name) const {
  std::string path = path_in(path_, name);
  if (!plain_name(name)) throw FileWriteError(Step::CreateFolder, EINVAL, path);
  // A few rounds: another writer may make or remove the same name meanwhile.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int handle = native::open_child_folder(handle_, name);
    if (handle >= 0) return OutputFolder(handle, path);
    int error = errno;
    if (error == ENOENT) {
      if (native::make_child_folder(handle_, name) != 0 && errno != EEXIST)
        throw FileWriteError(Step::CreateFolder, errno, path);
      continue;
    }
    if (error != ELOOP && error != ENOTDIR) throw FileWriteError(Step::OpenFolder, error, path);
    switch (native::entry_kind(handle_, name)) {
      case native::Entry::Link:
        if (native::remove_entry(handle_, name) != 0 && errno != ENOENT)
          throw FileWriteError(Step::CreateFolder, errno, path);
        break;
      case native::Entry::Other:
        throw FileWriteError(Step::CreateFolder, ENOTDIR, path);
      case native::Entry::Missing:
      case native::Entry::Folder:
        break;  // changed since: look again
    }
  }
  throw FileWriteError(Step::CreateFolder, EBUSY, path);
}

void OutputFolder::replace_file(const std::string& name, std::string_view text, Flush flush) const {
  std::string target = path_in(path_, name);
  if (!plain_name(name)) throw FileWriteError(Step::CreateFile, EINVAL, target);
  TemporaryFile temporary(handle_, path_, name);
  if (int error = temporary.write(text, flush)) throw FileWriteError(Step::Write, error, target);
  if (int error = temporary.rename_to(name)) throw FileWriteError(Step::Replace, error, target);
  // The rename reaches the disk with the folder's own entries.
  if (flush == Flush::Now) native::flush(handle_);
}

void OutputFolder::probe() const {
  TemporaryFile probe(handle_, path_, "probe");
}

}  // namespace tarvex::companions::utilities
