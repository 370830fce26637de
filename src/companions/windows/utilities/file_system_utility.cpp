// FileSystemUtility on Windows: the same path rules ("\" counts as a separator too) and the same
// atomic replacement, through a temporary file, a flush and a replacing move.
#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "automation/com/com.h"
#include "companions/utilities/file_system_utility.h"
#include "companions/utilities/guid_generator.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

namespace {

constexpr std::string_view kClass = "FileSystemUtility";
constexpr std::string_view kSeparators = "/\\";

using automation::com::wide;

[[noreturn]] void fail(int errno_value, std::string_view what) {
  raise_file_error(kClass, errno_value, what);
}

// The platform's error as the errno value that picks the same error number.
int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
      return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    default:
      return EACCES;
  }
}

std::string in_quotes(std::string_view path) {
  std::string quoted;
  quoted.reserve(path.size() + 2);
  quoted += '\'';
  quoted += path;
  quoted += '\'';
  return quoted;
}

class TemporaryFile {
 public:
  TemporaryFile(const std::string& folder, const std::string& file_name) {
    GuidGeneratorImpl guids;
    for (int attempt = 0; attempt < 8; ++attempt) {
      path_ = wide(folder + "/." + file_name.substr(0, 160) + "." + guids.NewGuidText() + ".tmp");
      handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle_ != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle_ == INVALID_HANDLE_VALUE) {
      fail(errno_of(GetLastError()), "cannot create a file in the folder " + in_quotes(folder));
    }
  }
  ~TemporaryFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!committed_) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Writes everything, flushes it to the disk and closes; an errno value on failure, else 0.
  int write_all(std::string_view text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
      const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
      DWORD written = 0;
      if (!WriteFile(handle_, data, chunk, &written, nullptr)) return errno_of(GetLastError());
      data += written;
      left -= written;
    }
    if (!FlushFileBuffers(handle_)) return errno_of(GetLastError());
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) return errno_of(GetLastError());
    return 0;
  }

  int commit_as(const std::string& target) {
    if (!MoveFileExW(path_.c_str(), wide(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return errno_of(GetLastError());
    }
    committed_ = true;
    return 0;
  }

 private:
  std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool committed_ = false;
};

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

void FileSystemUtilityImpl::PrepareFolder(const std::string& folder) {
  if (folder.empty()) raise_error(kClass, kPathNotFound, "no folder name was given");
  const std::filesystem::path path(wide(folder));
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) fail(ec.value(), "cannot create the folder " + in_quotes(folder));
  if (!std::filesystem::is_directory(path, ec)) {
    fail(ec ? ec.value() : ENOTDIR, in_quotes(folder) + " is not a folder");
  }
  TemporaryFile probe(folder, "prepare");
}

std::string FileSystemUtilityImpl::CombinePath(const std::string& folder, const std::string& name) {
  std::string_view head(folder);
  std::string_view tail(name);
  while (!tail.empty() && is_separator(tail.front())) tail.remove_prefix(1);
  if (head.empty()) return name;
  if (tail.empty()) return folder;
  while (head.size() > 1 && is_separator(head.back())) head.remove_suffix(1);
  std::string path(head);
  if (!is_separator(path.back())) path += '/';
  path += tail;
  return path;
}

std::string FileSystemUtilityImpl::FolderOfPath(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return {};
  std::string_view folder(path.data(), slash);
  while (!folder.empty() && is_separator(folder.back())) folder.remove_suffix(1);
  if (folder.empty()) return "/";
  return std::string(folder);
}

std::string FileSystemUtilityImpl::FileNameOfPath(const std::string& path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

contracts::Variant FileSystemUtilityImpl::WriteTextFile(const std::string& text,
                                                        const std::string& folder,
                                                        const std::string& file_name) {
  if (file_name.empty() || file_name.find_first_of(kSeparators) != std::string::npos ||
      file_name == "." || file_name == "..") {
    raise_error(kClass, kPathFileAccessError, "not a file name: " + in_quotes(file_name));
  }
  const std::string where = folder.empty() ? "." : folder;
  const std::string target = CombinePath(where, file_name);
  TemporaryFile temporary(where, file_name);
  if (int error = temporary.write_all(text)) fail(error, "cannot write " + in_quotes(target));
  if (int error = temporary.commit_as(target)) fail(error, "cannot replace " + in_quotes(target));
  return target;
}

}  // namespace tarvex::companions::utilities
