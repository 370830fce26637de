// The file writer. Every call into the operating system sits in `native` below, so that a port
// replaces that part only.
#include "companions/utilities/file_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "automation/com/com.h"
#undef CreateFile  // a macro of windows.h; FileWriteError::Step names a step so
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvex::companions::utilities {

namespace {

#ifdef _WIN32
// ---- The operating system, Windows: a folder is a handle held open without sharing deletion,
// ---- so it cannot be renamed or removed while held; its entries are reached by the path the
// ---- handle resolves to. Handles travel as C runtime descriptors. A reparse point (symbolic
// ---- link, junction) inside a held folder is never opened through; a reparse point on the
// ---- way to the first folder is followed, as a link is on POSIX. Failures return -1 (or
// ---- false) with errno set.
namespace native {

enum class Entry { Missing, Link, Folder, Other };

constexpr std::string_view kSeparators = "/\\";

int fail_with_last_error() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_DIRECTORY:
      errno = ENOTDIR;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_INVALID_NAME:
      errno = EINVAL;
      break;
    default:
      errno = EACCES;
  }
  return -1;
}

HANDLE handle_of(int descriptor) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

int descriptor_of(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return fail_with_last_error();
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
  if (descriptor < 0) {
    CloseHandle(handle);
    errno = EMFILE;
  }
  return descriptor;
}

// The entry `name` of a held folder, by the folder's present full path.
std::wstring entry_path(int folder, const std::string& name) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetFinalPathNameByHandleW(handle_of(folder), path.data(),
                                             static_cast<DWORD>(path.size()), 0);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length + 1);
  }
  return path + L"\\" + automation::com::wide(name);
}

HANDLE open_folder_handle(const std::wstring& path, DWORD flags) {
  return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

int open_folder(const std::string& path) {
  return descriptor_of(open_folder_handle(automation::com::wide(path), 0));
}

// Fails (ELOOP or ENOTDIR) when `name` is a reparse point, whatever it points to.
int open_child_folder(int folder, const std::string& name) {
  int child =
      descriptor_of(open_folder_handle(entry_path(folder, name), FILE_FLAG_OPEN_REPARSE_POINT));
  if (child < 0) return child;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle_of(child), &info)) {
    fail_with_last_error();
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    errno = ELOOP;
  } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    errno = ENOTDIR;
  } else {
    return child;
  }
  int error = errno;
  _close(child);
  errno = error;
  return -1;
}

int make_child_folder(int folder, const std::string& name) {
  return CreateDirectoryW(entry_path(folder, name).c_str(), nullptr) ? 0 : fail_with_last_error();
}

Entry entry_kind(int folder, const std::string& name) {
  DWORD attributes = GetFileAttributesW(entry_path(folder, name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::Missing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Entry::Link;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Entry::Folder : Entry::Other;
}

// Removes a name that is not a real folder: a link to a folder goes as a folder would.
int remove_entry(int folder, const std::string& name) {
  std::wstring path = entry_path(folder, name);
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with_last_error();
  bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str())
                                                         : DeleteFileW(path.c_str());
  return removed ? 0 : fail_with_last_error();
}

// A new file; fails with EEXIST when the name is taken, by a link too.
int create_new_file(int folder, const std::string& name) {
  return descriptor_of(CreateFileW(entry_path(folder, name).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
}

bool write_all(int file, std::string_view text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle_of(file), data, chunk, &written, nullptr)) {
      fail_with_last_error();
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

// The system's cache is kept for every file here.
bool write_uncached(int, std::string_view&) {
  return true;
}

// A folder's entries are flushed by the replacing move itself (MOVEFILE_WRITE_THROUGH).
int flush(int handle) {
  return FlushFileBuffers(handle_of(handle)) ? 0 : fail_with_last_error();
}

int close(int handle) {
  return ::_close(handle);
}

// Replaces `to` (a link of that name too, never what it points to) in one step.
int rename_within(int folder, const std::string& from, const std::string& to) {
  return MoveFileExW(entry_path(folder, from).c_str(), entry_path(folder, to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : fail_with_last_error();
}
}  // namespace native
#else
// ---- The operating system, POSIX: *at calls on open folder descriptors. Failures return -1
// ---- (or false) with errno set.
namespace native {

enum class Entry { Missing, Link, Folder, Other };

constexpr std::string_view kSeparators = "/";

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

// Writes what it can of `text` past the page cache and drops it from `text`; false with errno
// set on failure. A large file that is to reach the disk at once would otherwise be copied into
// fresh cache pages first, several times the disk's own time for a report of hundreds of
// megabytes. Direct transfers want aligned memory, lengths and offsets: the text goes through an
// aligned buffer, and an unaligned tail, or all of it where the file system refuses direct
// transfers, is left to write_all.
bool write_uncached(int file, std::string_view& text) {
  constexpr std::size_t kAlign = 4096;
  constexpr std::size_t kChunk = std::size_t{4} << 20;
  const int flags = ::fcntl(file, F_GETFL);
  if (flags < 0 || ::fcntl(file, F_SETFL, flags | O_DIRECT) != 0) return true;
  std::unique_ptr<char, decltype(&std::free)> buffer(
      static_cast<char*>(std::aligned_alloc(kAlign, kChunk)), &std::free);
  bool ok = true;
  while (buffer && text.size() >= kAlign) {
    const std::size_t n = std::min(kChunk, text.size() / kAlign * kAlign);
    std::memcpy(buffer.get(), text.data(), n);
    const ssize_t written = ::write(file, buffer.get(), n);
    if (written < 0) {
      if (errno == EINTR) continue;
      ok = errno == EINVAL;  // no direct transfers to this file: the usual way takes over
      break;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
    // A short write leaves the offset unaligned; the usual way finds out why, or goes on.
    if (static_cast<std::size_t>(written) != n) break;
  }
  const int error = errno;
  ::fcntl(file, F_SETFL, flags);
  errno = error;
  return ok;
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
#endif
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
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(native::kSeparators) == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// Smaller files gain nothing from leaving the page cache out.
constexpr std::size_t kUncachedFrom = std::size_t{16} << 20;

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
    if (flush == Flush::Now && text.size() >= kUncachedFrom &&
        !native::write_uncached(handle_, text))
      return errno;
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
