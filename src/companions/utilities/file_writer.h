// The one way files are written: whole or not at all (a temporary file renamed over the
// target), into folders held open, so that a link planted on the way cannot steer a write
// elsewhere. The report's save and the step export both write through it.
//
// What it promises:
// - The target is replaced only by a complete file: the text goes into a temporary file beside
//   it, a buffer at a time as the writer makes it, and that file is renamed over the target
//   only when every byte was written. A failed write (a full disk, a file size limit, an error
//   of the writer itself) removes the temporary file and leaves the target as it was.
// - Flush::Now (the report): the file's data, and then the folder holding the new name, are
//   flushed before the call returns, so the new file survives a power loss. Such a file, once it
//   outgrows its first buffer, is written with direct transfers that bypass the page cache: on
//   this kind of machine copying hundreds of megabytes into fresh cache pages costs several
//   times the disk's own time, and the flush would write them out at once anyway. Readers then
//   read the file from the disk, not the cache. The alignment of direct transfers is the one
//   the kernel gives (statx, STATX_DIOALIGN, Linux 6.1 on); where it gives none, or the file
//   system refuses them, the file is written the usual way. The unaligned tail always is.
//   Each direct write is queued in the kernel (Linux AIO, no thread of ours) and runs while the
//   next buffer fills; the temporary file's size is set ahead of the writes (never past the
//   process's file size limit), since a direct write that extends a file waits for the disk,
//   and cut to the bytes written at the end.
// - Flush::Later (the step export, thousands of small files): nothing is synced. The rename
//   still happens only after the whole text was written, so the file is whole against readers
//   and against a crash of the program; after a power loss it may be empty or cut, because the
//   file system can commit the rename before the data.
// - The folder's flush after the rename (Flush::Now) is not checked: the rename has already put
//   the new file in place for every reader, and the old one is gone, so there is nothing to
//   undo; failing the write then would report a file as not written that is there.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "contracts/text_sink.h"

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

  // Puts a file's text into the sink; may raise, which fails the write.
  using Writer = std::function<void(contracts::TextSink&)>;

  // Replaces the file `name` with what `write` puts into the sink (exactly these bytes).
  // Afterwards the file holds that text, or, on failure, what it held before, and no temporary
  // file is left. A link of that name is replaced, never written through. Raises
  // FileWriteError, or what `write` raises.
  void replace_file(const std::string& name, const Writer& write, Flush flush) const;
  // The same with the text at hand.
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
