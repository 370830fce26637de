// Replacing a file whole through a temporary file and a rename.
#include "companions/store/file_output.h"

#include <fmt/format.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tarvex::companions::store {

void write_file_replacing(const std::string& path, const std::string& text, StoreError kind,
                          const Where& where) {
  // Unique to this write: two threads of one process may write the same path at once.
  static std::atomic<std::uint64_t> writes{0};
  std::string temporary = fmt::format("{}.{}-{}.tmp", path, ::getpid(), ++writes);
  auto fail = [&](int error) {
    std::remove(temporary.c_str());
    raise_store_error(kind, where,
                      fmt::format("Cannot write '{}': {}", path, std::strerror(error)));
  };
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) fail(errno);
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  int error = errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) fail(error);
  if (std::rename(temporary.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace tarvex::companions::store
