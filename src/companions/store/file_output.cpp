// The store's files through the file writer.
#include "companions/store/file_output.h"

#include <fmt/format.h>

#include <cstring>
#include <filesystem>

#include "automation/file_path.h"
#include "companions/utilities/file_writer.h"

namespace tarvex::companions::store {

void write_file_replacing(const std::string& path, const std::string& text, StoreError kind,
                          const Where& where) {
  const std::filesystem::path target = automation::file_path(path);
  const std::string folder = automation::file_name_text(target.parent_path());
  try {
    utilities::OutputFolder::open(folder.empty() ? "." : folder)
        .replace_file(automation::file_name_text(target.filename()), text, utilities::Flush::Later);
  } catch (const utilities::FileWriteError& e) {
    raise_store_error(kind, where,
                      fmt::format("Cannot write '{}': {}", path, std::strerror(e.error())));
  }
}

}  // namespace tarvex::companions::store
