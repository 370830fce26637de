// Cleaning texts into safe path components, and keeping them apart.
#include "companions/store/export_names.h"

#include <fmt/format.h>
#include <array>

#include "automation/text.h"

namespace tarvex::companions::store {

namespace {

bool is_forbidden(char32_t cp) {
  constexpr std::u32string_view kReserved = U"<>:\"/\\|?*";
  return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0) ||
         kReserved.find(cp) != std::u32string_view::npos;
}

bool is_trimmed(char c) {
  return c == ' ' || c == '.';
}

void trim(std::string& s) {
  std::size_t first = 0;
  while (first < s.size() && is_trimmed(s[first])) ++first;
  std::size_t last = s.size();
  while (last > first && is_trimmed(s[last - 1])) --last;
  s = s.substr(first, last - first);
}

bool is_device_name(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  constexpr std::array<std::string_view, 4> kPlain{"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : kPlain) {
    if (automation::ascii_iequals(base, device)) return true;
  }
  if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
    std::string_view stem = base.substr(0, 3);
    return automation::ascii_iequals(stem, "COM") || automation::ascii_iequals(stem, "LPT");
  }
  return false;
}

// `raw` cleaned and cut to the given limits, possibly empty.
std::string cleaned_name(std::string_view raw, std::size_t max_chars, std::size_t max_bytes) {
  std::string cleaned;
  cleaned.reserve(raw.size());
  std::size_t pos = 0;
  while (pos < raw.size()) {
    char32_t cp = automation::next_code_point(raw, pos);
    automation::append_utf8(cleaned, is_forbidden(cp) ? U'_' : cp);
  }
  trim(cleaned);
  // Cut at a character boundary within both limits.
  std::size_t chars = 0;
  std::size_t end = 0;
  while (end < cleaned.size() && chars < max_chars) {
    std::size_t next = end;
    automation::next_code_point(cleaned, next);
    if (next > max_bytes) break;
    end = next;
    ++chars;
  }
  cleaned.resize(end);
  trim(cleaned);
  return cleaned;
}

}  // namespace

std::string safe_name(std::string_view raw, std::string_view fallback) {
  std::string cleaned = cleaned_name(raw, kNameMaxChars, kNameMaxBytes);
  if (cleaned.empty()) return std::string(fallback);
  if (is_device_name(cleaned)) return "_" + cleaned;
  return cleaned;
}

bool UniqueNames::try_claim(const std::string& name) {
  return taken_.insert(automation::ascii_lower(name)).second;
}

std::string UniqueNames::claim(const std::string& name, std::string_view tiebreak) {
  if (try_claim(name)) return name;
  std::string tie = cleaned_name(tiebreak, 40, 40);
  std::string longer = tie.empty() ? name : fmt::format("{} {}", name, tie);
  if (try_claim(longer)) return longer;
  for (int n = 2;; ++n) {
    std::string numbered = fmt::format("{} ({})", longer, n);
    if (try_claim(numbered)) return numbered;
  }
}

}  // namespace tarvex::companions::store
