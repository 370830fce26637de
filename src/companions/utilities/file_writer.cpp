// The file writer. Every call into the operating system sits in `native` below, so that a port
// replaces that part only.
#include "companions/utilities/file_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <utility>

#include "automation/registry.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "automation/com/com.h"
#undef CreateFile  // a macro of windows.h; FileWriteError::Step names a step so
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/aio_abi.h>
#include <sys/syscall.h>
#endif
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

// How many of the bytes one write at `offset` took, or -1.
std::ptrdiff_t write_at(int file, std::string_view bytes, std::uint64_t offset) {
  DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
  DWORD written = 0;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  if (!WriteFile(handle_of(file), bytes.data(), chunk, &written, &at)) {
    return fail_with_last_error();
  }
  return static_cast<std::ptrdiff_t>(written);
}

// Files go through the system's cache here: no direct transfers, so no queued ones either.
std::size_t direct_alignment(int) {
  return 0;
}

bool set_direct(int, bool) {
  return false;
}

std::uint64_t size_limit() {
  return std::numeric_limits<std::uint64_t>::max();
}

bool resize(int, std::uint64_t) {
  errno = ENOSYS;
  return false;
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

// How many of the bytes one write at `offset` took, or -1.
std::ptrdiff_t write_at(int file, std::string_view bytes, std::uint64_t offset) {
  for (;;) {
    const ssize_t written = ::pwrite(file, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written >= 0 || errno != EINTR) return written;
  }
}

// The alignment (of memory, length and file offset) that direct transfers to the file need, as
// the kernel tells it; 0 where it does not (before Linux 6.1) or the file system has none.
std::size_t direct_alignment(int file) {
#ifdef STATX_DIOALIGN
  struct statx status;
  if (::statx(file, "", AT_EMPTY_PATH, STATX_DIOALIGN, &status) != 0 ||
      (status.stx_mask & STATX_DIOALIGN) == 0 || status.stx_dio_offset_align == 0) {
    return 0;
  }
  return std::max(status.stx_dio_mem_align, status.stx_dio_offset_align);
#else
  (void)file;
  return 0;
#endif
}

// Turns direct transfers on or off for the file's later writes.
bool set_direct(int file, bool on) {
  const int flags = ::fcntl(file, F_GETFL);
  return flags >= 0 && ::fcntl(file, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// The largest file this process may write (RLIMIT_FSIZE): growing a file past it raises SIGXFSZ.
std::uint64_t size_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  return limit.rlim_cur;
}

bool resize(int file, std::uint64_t size) {
  return ::ftruncate(file, static_cast<off_t>(size)) == 0;
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

namespace native {
// Direct writes that go on while the program fills its next buffer: the kernel's own
// asynchronous writes (Linux AIO), which start no thread in the program. 0 is no queue.
using Queue = std::uintptr_t;

#if defined(__linux__)
Queue queue_start() {
  aio_context_t context = 0;
  return ::syscall(SYS_io_setup, 1, &context) == 0 ? static_cast<Queue>(context) : 0;
}

bool queue_write(Queue queue, int file, std::string_view bytes, std::uint64_t offset) {
  iocb request{};
  request.aio_fildes = static_cast<std::uint32_t>(file);
  request.aio_lio_opcode = IOCB_CMD_PWRITE;
  request.aio_buf = reinterpret_cast<std::uintptr_t>(bytes.data());
  request.aio_nbytes = bytes.size();
  request.aio_offset = static_cast<std::int64_t>(offset);
  iocb* requests[] = {&request};
  long submitted;
  do {
    submitted = ::syscall(SYS_io_submit, static_cast<aio_context_t>(queue), 1, requests);
  } while (submitted < 0 && errno == EINTR);
  return submitted == 1;
}

// How many bytes the write in the queue took, once it is done, or -1.
std::ptrdiff_t queue_wait(Queue queue) {
  io_event done{};
  long events;
  do {
    events = ::syscall(SYS_io_getevents, static_cast<aio_context_t>(queue), 1, 1, &done, nullptr);
  } while (events < 0 && errno == EINTR);
  if (events != 1) return -1;
  if (done.res < 0) {
    errno = static_cast<int>(-done.res);
    return -1;
  }
  return static_cast<std::ptrdiff_t>(done.res);
}

void queue_end(Queue queue) {
  ::syscall(SYS_io_destroy, static_cast<aio_context_t>(queue));
}
#else
// Elsewhere each direct write runs in turn.
Queue queue_start() {
  return 0;
}

bool queue_write(Queue, int, std::string_view, std::uint64_t) {
  return false;
}

std::ptrdiff_t queue_wait(Queue) {
  errno = ENOSYS;
  return -1;
}

void queue_end(Queue) {}
#endif
}  // namespace native
// ---- End of the operating system's part.

using Step = FileWriteError::Step;

// Writes all the bytes from `offset` on: false with errno set when that fails.
bool write_all(int file, std::string_view bytes, std::uint64_t offset) {
  while (!bytes.empty()) {
    const std::ptrdiff_t written = native::write_at(file, bytes, offset);
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

// The file system's limit is 255 bytes a name; the temporary name adds 22 to a cut of the
// target's name, cut at a character's start.
std::string temporary_name(const std::string& name) {
  std::size_t cut = std::min<std::size_t>(name.size(), 160);
  while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
    --cut;
  // Random, not a counter: writers in other processes, even other machines sharing the
  // folder, must not pick the same name.
  struct TemporaryNames {
    std::mt19937_64 random{std::random_device{}()};
  };
  return fmt::format(".{}.{:016x}.tmp", std::string_view(name).substr(0, cut),
                     automation::per_thread<TemporaryNames>().random());
}

bool plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(native::kSeparators) == std::string::npos &&
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

  int handle() const { return handle_; }

  // Flushes (Flush::Now) and closes the written file: 0, or the error number of the step that
  // failed.
  int close(Flush flush) {
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

// What a file is written from, a buffer at a time. A file that outgrows its first buffer and
// is to reach the disk at once goes past the page cache (see file_writer.h) in larger aligned
// buffers, each written while the next one fills where the kernel can queue the write; its
// unaligned tail, and any file where direct transfers are not to be had, the usual way.
class FileSink final : public contracts::TextSink {
 public:
  FileSink(int file, Flush flush, const std::string& path)
      : file_(file),
        path_(path),
        alignment_(flush == Flush::Now ? native::direct_alignment(file) : 0) {
    if (alignment_ != 0 && kFirstBuffer % alignment_ != 0) alignment_ = 0;
    filling_ = new_buffer(kFirstBuffer);
    set_buffer(filling_.data.get(), filling_.data.get() + filling_.size);
  }
  ~FileSink() {
    // A queued write reads its buffer until it is done: never free it before.
    if (in_flight_ != 0) native::queue_wait(queue_);
    if (queue_ != 0) native::queue_end(queue_);
  }

  // Writes what is still pending; raises FileWriteError.
  void finish() {
    settle();
    std::string_view rest = pending();
    if (mode_ != Mode::Usual) {
      const std::size_t aligned = rest.size() / alignment_ * alignment_;
      write_now(rest.substr(0, aligned));
      rest.remove_prefix(aligned);
      leave_direct();
    }
    write_now(rest);
    // Set ahead so that direct writes did not extend it (see size_ahead): now its own size.
    if (sized_ > written_ && !native::resize(file_, written_)) fail();
    set_buffer(nullptr, nullptr);
  }

 private:
  static constexpr std::size_t kFirstBuffer = std::size_t{64} << 10;
  static constexpr std::size_t kDirectBuffer = std::size_t{4} << 20;
  static constexpr std::uint64_t kSizeAhead = std::uint64_t{64} << 20;

  enum class Mode { Usual, Direct, Queued };
  struct AlignedDelete {
    std::align_val_t align;
    void operator()(char* p) const { ::operator delete(p, align); }
  };
  struct Buffer {
    std::unique_ptr<char, AlignedDelete> data{nullptr, AlignedDelete{}};
    std::size_t size = 0;
  };

  Buffer new_buffer(std::size_t size) const {
    const std::align_val_t align{std::max<std::size_t>(alignment_, 4096)};
    return {{static_cast<char*>(::operator new(size, align)), AlignedDelete{align}}, size};
  }

  void pass_on() override {
    const std::string_view full = pending();
    if (alignment_ != 0 && !tried_direct_) {
      tried_direct_ = true;
      if (native::set_direct(file_, true)) {
        queue_ = native::queue_start();
        mode_ = queue_ != 0 ? Mode::Queued : Mode::Direct;
      }
    }
    if (mode_ == Mode::Queued) {
      settle();
      if (mode_ == Mode::Queued) {
        size_ahead(written_ + full.size());
        if (native::queue_write(queue_, file_, full, written_)) {
          in_flight_ = full.size();
          written_ += full.size();
          std::swap(filling_, writing_);
          if (filling_.size < kDirectBuffer) filling_ = new_buffer(kDirectBuffer);
          set_buffer(filling_.data.get(), filling_.data.get() + filling_.size);
          return;
        }
        mode_ = Mode::Direct;
      }
    }
    write_now(full);
    if (mode_ != Mode::Usual && filling_.size < kDirectBuffer) filling_ = new_buffer(kDirectBuffer);
    set_buffer(filling_.data.get(), filling_.data.get() + filling_.size);
  }

  // Waits for the queued write. What it did not take (a file system that refuses it, a file
  // grown to its limit) is written the usual way, which also finds out why.
  void settle() {
    if (in_flight_ == 0) return;
    const std::size_t sent = std::exchange(in_flight_, 0);
    const std::ptrdiff_t took = native::queue_wait(queue_);
    if (took < 0 && errno != EINVAL) fail();
    if (took >= 0 && static_cast<std::size_t>(took) == sent) return;
    const std::size_t done = took < 0 ? 0 : static_cast<std::size_t>(took);
    leave_direct();
    written_ -= sent - done;
    write_now({writing_.data.get() + done, sent - done});
  }

  // Writes the bytes at once: aligned ones directly while the file takes them so.
  void write_now(std::string_view bytes) {
    while (mode_ != Mode::Usual && !bytes.empty()) {
      size_ahead(written_ + bytes.size());
      const std::ptrdiff_t took = native::write_at(file_, bytes, written_);
      if (took < 0 && errno != EINVAL) fail();
      if (took <= 0 || static_cast<std::size_t>(took) % alignment_ != 0) {
        if (took > 0) {
          bytes.remove_prefix(static_cast<std::size_t>(took));
          written_ += static_cast<std::uint64_t>(took);
        }
        leave_direct();
        break;
      }
      bytes.remove_prefix(static_cast<std::size_t>(took));
      written_ += static_cast<std::uint64_t>(took);
    }
    if (!write_all(file_, bytes, written_)) fail();
    written_ += bytes.size();
  }

  void leave_direct() {
    if (mode_ == Mode::Usual) return;
    if (!native::set_direct(file_, false)) fail();
    mode_ = Mode::Usual;
  }

  // A direct write that extends a file waits for the disk (ext4 does it in the call, queued or
  // not): the file's size is set ahead, in large steps and never past the process's limit, and
  // cut to what was written at the end. Where it cannot be set the writes just extend it.
  void size_ahead(std::uint64_t end) {
    if (end <= sized_) return;
    const std::uint64_t size = std::min(end + kSizeAhead, limit_);
    if (size >= end && native::resize(file_, size)) sized_ = size;
  }

  [[noreturn]] void fail() const { throw FileWriteError(Step::Write, errno, path_); }

  int file_;
  const std::string& path_;
  std::size_t alignment_;  // of direct transfers; 0: none
  bool tried_direct_ = false;
  Mode mode_ = Mode::Usual;
  native::Queue queue_ = 0;
  Buffer filling_;
  Buffer writing_;             // the queued write's
  std::size_t in_flight_ = 0;  // bytes of the queued write
  std::uint64_t written_ = 0;  // bytes handed to the file, queued ones included
  std::uint64_t sized_ = 0;    // the size set ahead
  const std::uint64_t limit_ = native::size_limit();
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
  replace_file(
      name, [&](contracts::TextSink& sink) { sink.put(text); }, flush);
}

void OutputFolder::replace_file(const std::string& name, const Writer& write, Flush flush) const {
  std::string target = path_in(path_, name);
  if (!plain_name(name)) throw FileWriteError(Step::CreateFile, EINVAL, target);
  TemporaryFile temporary(handle_, path_, name);
  {
    FileSink sink(temporary.handle(), flush, target);
    write(sink);
    sink.finish();
  }
  if (int error = temporary.close(flush)) throw FileWriteError(Step::Write, error, target);
  if (int error = temporary.rename_to(name)) throw FileWriteError(Step::Replace, error, target);
  // The rename reaches the disk with the folder's own entries; see file_writer.h for why a
  // failure here is not the write's.
  if (flush == Flush::Now) native::flush(handle_);
}

void OutputFolder::probe() const {
  TemporaryFile probe(handle_, path_, "probe");
}

}  // namespace tarvex::companions::utilities
