// FileSystemUtility: folders, path pieces, and the report's file through the file writer.
#include "companions/utilities/file_system_utility.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "automation/file_path.h"
#include "companions/utilities/file_writer.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

namespace {

constexpr std::string_view kClass = "FileSystemUtility";
// The first is the one paths are built with.
#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

bool is_separator(char c) {
  return kSeparators.find(c) != std::string_view::npos;
}

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

// Raises the file error for a failed write, in this class's words.
[[noreturn]] void fail(const FileWriteError& e) {
  switch (e.step()) {
    case FileWriteError::Step::Write:
      fail(e.error(), "cannot write " + in_quotes(e.path()));
    case FileWriteError::Step::Replace:
      fail(e.error(), "cannot replace " + in_quotes(e.path()));
    default:
      fail(e.error(), "cannot create a file in the folder " + in_quotes(e.path()));
  }
}

}  // namespace

void FileSystemUtilityImpl::PrepareFolder(const std::string& folder) {
  if (folder.empty()) raise_error(kClass, kPathNotFound, "no folder name was given");
  std::error_code ec;
  const std::filesystem::path path = automation::file_path(folder);
  std::filesystem::create_directories(path, ec);
  if (ec) fail(ec.value(), "cannot create the folder " + in_quotes(folder));
  if (!std::filesystem::is_directory(path, ec)) {
    fail(ec ? ec.value() : ENOTDIR, in_quotes(folder) + " is not a folder");
  }
  try {
    OutputFolder::open(folder).probe();
  } catch (const FileWriteError& e) {
    fail(e);
  }
}

std::string FileSystemUtilityImpl::CombinePath(const std::string& folder, const std::string& name) {
  std::string_view head(folder);
  std::string_view tail(name);
  while (!tail.empty() && is_separator(tail.front())) tail.remove_prefix(1);
  if (head.empty()) return std::string(name);
  if (tail.empty()) return folder;
  while (head.size() > 1 && is_separator(head.back())) head.remove_suffix(1);
  std::string path;
  path.reserve(head.size() + 1 + tail.size());
  path += head;
  if (!is_separator(path.back())) path += kSeparators.front();
  path += tail;
  return path;
}

std::string FileSystemUtilityImpl::FolderOfPath(const std::string& path) {
  std::size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return {};
  std::string_view folder(path.data(), slash);
  while (!folder.empty() && is_separator(folder.back())) folder.remove_suffix(1);
  if (folder.empty()) return "/";
  return std::string(folder);
}

std::string FileSystemUtilityImpl::FileNameOfPath(const std::string& path) {
  std::size_t slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

contracts::Variant FileSystemUtilityImpl::WriteTextFile(const std::string& text,
                                                        const std::string& folder,
                                                        const std::string& file_name) {
  return StreamTextFile([&](contracts::TextSink& sink) { sink.put(text); }, folder, file_name);
}

contracts::Variant FileSystemUtilityImpl::StreamTextFile(
    const std::function<void(contracts::TextSink&)>& write, const std::string& folder,
    const std::string& file_name) {
  if (file_name.empty() || file_name.find_first_of(kSeparators) != std::string::npos ||
      file_name == "." || file_name == "..") {
    raise_error(kClass, kPathFileAccessError, "not a file name: " + in_quotes(file_name));
  }
  std::string target = CombinePath(folder.empty() ? "." : folder, file_name);
  try {
    OutputFolder::open(folder.empty() ? "." : folder).replace_file(file_name, write, Flush::Now);
  } catch (const FileWriteError& e) {
    fail(e);
  }
  return target;
}

}  // namespace tarvex::companions::utilities
