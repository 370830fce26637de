// The one way files are written: whole or not at all (a temporary file renamed over the
// target), into folders held open, so that a link planted on the way cannot steer a write
// elsewhere. The report's save and the step export both write through it.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvex::companions::utilities {

// A write that failed: at which step, the operating system's error number and the path.
class FileWriteError : public std::runtime_error {
 public:
  enum class Step { OpenFolder, CreateFolder, CreateFile, Write, Replace };

  FileWriteError(Step step, int error, std::string path);

  Step step() const { return step_; }
  int error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  Step step_;
  int error_;
  std::string path_;
};

// Whether a written file and the folder entry that names it reach the disk before the write
// returns, or whenever the system gets to it.
enum class Flush { Later, Now };

// A folder open for writing. Everything below it is reached through the open folder, never
// again through its path.
class OutputFolder {
 public:
  // The folder at `path`, links followed: whoever names the folder chooses where it is.
  static OutputFolder open(const std::string& path);

  OutputFolder(OutputFolder&& other) noexcept;
  OutputFolder& operator=(OutputFolder&& other) noexcept;
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
  ~OutputFolder();

  // The folder `name` inside this one, made when missing. A link of that name is never
  // followed: it is removed and a real folder takes its place. Anything else that is not a
  // folder is left alone and raises (ENOTDIR).
  OutputFolder child(const std::string& name) const;

  // Replaces the file `name` with `text` (exactly these bytes). Afterwards the file holds the
  // text, or, on failure, what it held before, and no temporary file is left. A link of that
  // name is replaced, never written through.
  void replace_file(const std::string& name, std::string_view text, Flush flush) const;

  // Creates a file and removes it again: proves that the folder takes files, which permission
  // bits alone do not tell (read-only mounts, access lists, root).
  void probe() const;

  const std::string& path() const { return path_; }

 private:
  OutputFolder(int handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  int handle_ = -1;
  std::string path_;  // for messages only
};

// "FOLDER/NAME" for messages.
std::string path_in(const std::string& folder, const std::string& name);

}  // namespace tarvex::companions::utilities
