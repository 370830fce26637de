// The one scanner of connection text, strict for parsing and lenient for masking passwords.
#include "companions/store/connection_text.h"

#include <fmt/format.h>
#include <array>

#include "automation/text.h"

namespace tarvex::companions::store {

namespace {

using automation::ascii_iequals;

constexpr std::array<std::string_view, 6> kKnownKeys{"Driver", "Database", "Host",
                                                     "Port",   "User",     "Password"};

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// One pair as scanned: its key, its unquoted value and where its raw value lies in the text.
struct ScannedPair {
  std::string_view key;
  std::string value;
  std::size_t raw_begin = 0;
  std::size_t raw_end = 0;
};

// What a strict scan refuses; a lenient scan recovers from it instead.
struct ScanFault {
  std::string description;
};

// Scans `text` pair by pair and calls `on_pair` for each. Strict: a fault is returned at once.
// Lenient: a part without "=" is skipped (after a password, taken into its raw value), an
// unterminated quote runs to the end of the text, and text after a closing quote is taken into
// the raw value.
template <class F>
std::optional<ScanFault> scan(std::string_view text, bool strict, F&& on_pair) {
  const std::size_t n = text.size();
  std::size_t pos = 0;
  // A fault right after a password may be the rest of it: such faults never quote the text.
  bool after_password = false;
  while (pos < n) {
    std::size_t part_end = text.find_first_of(";=", pos);
    if (part_end == std::string_view::npos || text[part_end] == ';') {
      std::size_t stop = part_end == std::string_view::npos ? n : part_end;
      std::string_view part = trim(text.substr(pos, stop - pos));
      if (!part.empty() && strict) {
        if (after_password) {
          return ScanFault{
              "the part after the value of Password is not a Key=Value pair; a password that "
              "holds ';' must be written in double quotes"};
        }
        return ScanFault{fmt::format("'{}' is not a Key=Value pair", part)};
      }
      pos = stop + 1;
      continue;
    }
    ScannedPair pair;
    pair.key = trim(text.substr(pos, part_end - pos));
    if (pair.key.empty() && strict) {
      return ScanFault{fmt::format("a value at offset {} has no key", pos)};
    }
    pos = part_end + 1;
    while (pos < n && is_blank(text[pos]) && text[pos] != ';') ++pos;
    pair.raw_begin = pos;
    if (pos < n && text[pos] == '"') {
      ++pos;
      bool closed = false;
      while (pos < n) {
        if (text[pos] != '"') {
          pair.value += text[pos++];
        } else if (pos + 1 < n && text[pos + 1] == '"') {
          pair.value += '"';
          pos += 2;
        } else {
          ++pos;
          closed = true;
          break;
        }
      }
      if (!closed && strict) {
        return ScanFault{
            fmt::format("the value of {} opens a quote that is never closed", pair.key)};
      }
      pair.raw_end = pos;
      std::size_t stop = text.find(';', pos);
      if (stop == std::string_view::npos) stop = n;
      if (!trim(text.substr(pos, stop - pos)).empty()) {
        if (strict && ascii_iequals(pair.key, "Password")) {
          return ScanFault{
              "the quoted value of Password is followed by more text; put the whole value in "
              "the quotes"};
        }
        if (strict) {
          return ScanFault{fmt::format(
              "the quoted value of {} is followed by '{}'; put the whole value in the quotes",
              pair.key, trim(text.substr(pos, stop - pos)))};
        }
        pair.raw_end = stop;
      }
      pos = stop;
    } else {
      std::size_t stop = text.find(';', pos);
      if (stop == std::string_view::npos) stop = n;
      std::string_view raw = trim(text.substr(pos, stop - pos));
      pair.value = std::string(raw);
      pair.raw_end = pos + raw.size();
      pos = stop;
    }
    if (!strict && ascii_iequals(pair.key, "Password")) {
      // Parts without "=" after a password may be the rest of one that holds ";" unquoted:
      // they go into its raw value, so that masking hides them too.
      for (std::size_t at = pos; at < n;) {
        std::size_t next = text.find(';', at + 1);
        if (next == std::string_view::npos) next = n;
        std::string_view part = text.substr(at + 1, next - at - 1);
        if (part.find('=') != std::string_view::npos) break;
        std::string_view rest = trim(part);
        if (!rest.empty()) {
          pair.raw_end = static_cast<std::size_t>(rest.data() + rest.size() - text.data());
          pos = next;
        }
        at = next;
      }
    }
    ++pos;  // the ";" that ends the pair
    after_password = ascii_iequals(pair.key, "Password");
    on_pair(pair);
  }
  return std::nullopt;
}

}  // namespace

std::string_view driver_name(Driver driver) {
  return driver == Driver::PostgreSQL ? "PostgreSQL" : "SQLite";
}

ConnectionText ConnectionText::parse(std::string_view text, const Where& where) {
  ConnectionText result;
  auto fault = scan(text, true, [&](const ScannedPair& pair) {
    result.properties_.push_back({std::string(pair.key), pair.value});
  });
  if (fault) {
    raise_store_error(StoreError::BadConnectionText, where,
                      "The connection text is not valid: " + fault->description);
  }
  if (auto driver = result.value("Driver")) {
    if (ascii_iequals(*driver, "SQLite")) {
      result.driver_ = Driver::SQLite;
    } else if (ascii_iequals(*driver, "PostgreSQL")) {
      result.driver_ = Driver::PostgreSQL;
    } else {
      raise_store_error(
          StoreError::BadConnectionText, where,
          fmt::format("The connection text names the driver '{}'; the known drivers are SQLite "
                      "and PostgreSQL",
                      *driver));
    }
  }
  return result;
}

std::optional<std::string> ConnectionText::value(std::string_view key) const {
  for (auto it = properties_.rbegin(); it != properties_.rend(); ++it) {
    if (ascii_iequals(it->key, key)) return it->value;
  }
  return std::nullopt;
}

std::string canonical_key(std::string_view key) {
  for (std::string_view known : kKnownKeys) {
    if (ascii_iequals(known, key)) return std::string(known);
  }
  return std::string(key);
}

std::string mask_passwords(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  scan(text, false, [&](const ScannedPair& pair) {
    if (!ascii_iequals(pair.key, "Password")) return;
    out.append(text.substr(copied, pair.raw_begin - copied));
    out.append(kPasswordMask);
    copied = pair.raw_end;
  });
  out.append(text.substr(copied));
  return out;
}

std::string quote_connection_value(std::string_view value) {
  bool needs_quotes = value.find_first_of(";=\"") != std::string_view::npos ||
                      (!value.empty() && (is_blank(value.front()) || is_blank(value.back())));
  if (!needs_quotes) return std::string(value);
  // Appending into one string (rather than "\"" + ...) also keeps g++ 12 -O3 free of a false
  // -Wrestrict alarm.
  std::string quoted = "\"";
  quoted += automation::replace_all(value, "\"", "\"\"");
  quoted += '"';
  return quoted;
}

}  // namespace tarvex::companions::store
