// File and folder names travel through the system as UTF-8 text. The platform's own names are
// wide on Windows, where a narrow name would be read in the legacy code page and any character
// outside it lost: every name the system opens becomes a path here, and back.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex::automation {

inline std::filesystem::path file_path(std::string_view utf8) {
  return std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
}

inline std::string file_name_text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace tarvex::automation
