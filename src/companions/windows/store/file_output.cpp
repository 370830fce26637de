// Replacing a file whole on Windows: the C runtime's rename refuses an existing target, so the
// temporary file is moved over it by the platform.
#include "companions/store/file_output.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "automation/com/com.h"

namespace tarvex::companions::store {

void write_file_replacing(const std::string& path, const std::string& text, StoreError kind,
                          const Where& where) {
  static std::atomic<std::uint64_t> writes{0};
  const std::string temporary =
      path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++writes) + ".tmp";
  const std::wstring wide_temporary = automation::com::wide(temporary);
  auto fail = [&](const char* reason) {
    DeleteFileW(wide_temporary.c_str());
    raise_store_error(kind, where, "Cannot write '" + path + "': " + reason);
  };
  std::FILE* file = _wfopen(wide_temporary.c_str(), L"wb");
  if (!file) fail("the file cannot be created");
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) fail("the disk refused the text");
  if (!MoveFileExW(wide_temporary.c_str(), automation::com::wide(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING)) {
    fail("the file cannot be replaced");
  }
}

}  // namespace tarvex::companions::store
