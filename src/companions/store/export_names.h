// File and folder names for exported macro steps, made from texts of the store: readable, yet
// unable to leave the export folder (no separators, no "." or "..", no control characters, no
// device names) or to collide with one another.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tarvex::companions::store {

// Longest name part in characters and in bytes; room remains for a GUID suffix, an extension
// and a temporary-file suffix within the 255 bytes that file systems allow.
inline constexpr std::size_t kNameMaxChars = 80;
inline constexpr std::size_t kNameMaxBytes = 150;

// `raw` made safe as one path component: invalid UTF-8 becomes U+FFFD; control characters and
// < > : " / \ | ? * become "_"; leading and trailing blanks and dots go; the text is cut to
// kNameMaxChars characters and kNameMaxBytes bytes at a character boundary; a device name
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without extension) gets a "_" in front; an
// empty result gives `fallback`.
std::string safe_name(std::string_view raw, std::string_view fallback);

// Hands out names that differ from every name handed out before, compared without regard to
// ASCII letter case (as some file systems compare them): `name` itself, else `name` + " " +
// `tiebreak`, else that with " (2)", " (3)" and so on.
class UniqueNames {
 public:
  std::string claim(const std::string& name, std::string_view tiebreak);

 private:
  bool try_claim(const std::string& name);
  std::unordered_set<std::string> taken_;
};

}  // namespace tarvex::companions::store
