// FileSystemUtility: report folders, path pieces and file writing that never leaves a half-written
// file behind. Paths are POSIX paths with "/" as the separator.
//
// Errors (source "Toolkit_83.FileSystemUtility", see utility_error.h): 76 "Path not found" when a
// path or one of its parents is missing or not a folder, 61 "Disk full", 75 "Path/File access
// error" for everything else; the description names the path and the operating system's reason.
#pragma once

#include <string>

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class FileSystemUtilityImpl : public contracts::FileSystemUtility {
 public:
  // Creates the folder and its missing parents, then proves that a file can be created in it.
  // An empty name, a file in the way or a folder that cannot receive files raise.
  void PrepareFolder(const std::string& folder) override;
  // `name` inside `folder` with exactly one "/" between them; an empty folder gives `name`.
  std::string CombinePath(const std::string& folder, const std::string& name) override;
  // "/a/b" for "/a/b/c.html", "/" for "/c.html", "" for "c.html".
  std::string FolderOfPath(const std::string& path) override;
  // "c.html" for "/a/b/c.html"; "" for a path that ends in "/".
  std::string FileNameOfPath(const std::string& path) override;
  // Writes the UTF-8 text as it is (no byte order mark) to a temporary file in `folder`,
  // flushes it to the disk and renames it over the target (a link of that name is replaced,
  // never written through); on failure the temporary file is removed and an earlier file stays
  // as it was. `folder` may itself be a link. Returns the path written.
  contracts::Variant WriteTextFile(const std::string& text, const std::string& folder,
                                   const std::string& file_name) override;
  // As WriteTextFile, with the text streamed from `write` (file_writer.h).
  contracts::Variant StreamTextFile(const std::function<void(contracts::TextSink&)>& write,
                                    const std::string& folder,
                                    const std::string& file_name) override;
};

}  // namespace tarvex::companions::utilities
