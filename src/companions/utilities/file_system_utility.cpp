// FileSystemUtility: folders, path pieces and atomic file replacement.
#include "companions/utilities/file_system_utility.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

namespace {

constexpr std::string_view kClass = "FileSystemUtility";

[[noreturn]] void fail(int errno_value, std::string_view what) {
  raise_file_error(kClass, errno_value, what);
}

std::string in_quotes(std::string_view path) {
  std::string q;
  q.reserve(path.size() + 2);
  q += '\'';
  q += path;
  q += '\'';
  return q;
}

// Closes the descriptor and removes the temporary file unless the write was committed.
class TemporaryFile {
 public:
  TemporaryFile(std::string folder, const std::string& file_name) {
    // A random suffix: no two writers, in this process or another, pick the same name.
    for (int attempt = 0; attempt < 8; ++attempt) {
      uuid_t id;
      uuid_generate_random(id);
      char suffix[37];
      uuid_unparse_lower(id, suffix);
      // Shortened so that the name stays within the file system's limit.
      path_ = folder + "/." + file_name.substr(0, 160) + "." + suffix + ".tmp";
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) fail(errno, "cannot create a file in the folder " + in_quotes(folder));
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Writes everything, flushes it to the disk and closes; errno on failure, 0 on success.
  int write_all(std::string_view text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
      ssize_t written = ::write(fd_, data, left);
      if (written < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      data += written;
      left -= static_cast<std::size_t>(written);
    }
    if (::fsync(fd_) != 0) return errno;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return errno;
    return 0;
  }

  int commit_as(const std::string& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    committed_ = true;
    return 0;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

// The rename itself reaches the disk only with the folder's entry table.
void sync_folder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void FileSystemUtilityImpl::PrepareFolder(const std::string& folder) {
  if (folder.empty()) raise_error(kClass, kPathNotFound, "no folder name was given");
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) fail(ec.value(), "cannot create the folder " + in_quotes(folder));
  if (!std::filesystem::is_directory(folder, ec)) {
    fail(ec ? ec.value() : ENOTDIR, in_quotes(folder) + " is not a folder");
  }
  // Permission bits do not tell the whole story (read-only mounts, root, ACLs): try it.
  TemporaryFile probe(folder, "prepare");
}

std::string FileSystemUtilityImpl::CombinePath(const std::string& folder, const std::string& name) {
  std::string_view head(folder);
  std::string_view tail(name);
  while (!tail.empty() && tail.front() == '/') tail.remove_prefix(1);
  if (head.empty()) return std::string(name);
  if (tail.empty()) return folder;
  while (head.size() > 1 && head.back() == '/') head.remove_suffix(1);
  std::string path;
  path.reserve(head.size() + 1 + tail.size());
  path += head;
  if (path.back() != '/') path += '/';
  path += tail;
  return path;
}

std::string FileSystemUtilityImpl::FolderOfPath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  std::string_view folder(path.data(), slash);
  while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
  if (folder.empty()) return "/";
  return std::string(folder);
}

std::string FileSystemUtilityImpl::FileNameOfPath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

contracts::Variant FileSystemUtilityImpl::WriteTextFile(const std::string& text,
                                                        const std::string& folder,
                                                        const std::string& file_name) {
  if (file_name.empty() || file_name.find('/') != std::string::npos || file_name == "." ||
      file_name == "..") {
    raise_error(kClass, kPathFileAccessError, "not a file name: " + in_quotes(file_name));
  }
  std::string target = CombinePath(folder.empty() ? "." : folder, file_name);
  std::string where = folder.empty() ? "." : folder;
  TemporaryFile temporary(where, file_name);
  if (int error = temporary.write_all(text)) fail(error, "cannot write " + in_quotes(target));
  if (int error = temporary.commit_as(target)) fail(error, "cannot replace " + in_quotes(target));
  sync_folder(where);
  return target;
}

}  // namespace tarvex::companions::utilities
