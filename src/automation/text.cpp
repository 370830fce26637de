// UTF-8 character counting and slicing, and case-insensitive ASCII comparison.
#include "automation/text.h"

#include "automation/error.h"

namespace tarvex::automation {

namespace {
char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Byte offset of the character with the given 0-based index, or s.size() past the end.
std::size_t byte_offset(std::string_view s, std::int64_t chars) {
  std::size_t pos = 0;
  while (chars > 0 && pos < s.size()) {
    next_code_point(s, pos);
    --chars;
  }
  return pos;
}
}  // namespace

bool ascii_iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

char32_t next_code_point(std::string_view s, std::size_t& pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0)
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  else if ((b0 & 0xF0) == 0xE0)
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  else if ((b0 & 0xF8) == 0xF0)
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  else {
    ++pos;
    return 0xFFFD;
  }
  if (pos + static_cast<std::size_t>(extra) >= s.size()) {
    ++pos;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; ++i) {
    unsigned char b = byte(pos + static_cast<std::size_t>(i));
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return 0xFFFD;
  }
  pos += static_cast<std::size_t>(extra) + 1;
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::size_t char_count(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < s.size(); ++count) next_code_point(s, pos);
  return count;
}

std::string mid(std::string_view s, std::int64_t start, std::int64_t length) {
  if (start < 1 || length < 0) raise(RuntimeError::InvalidProcedureCall);
  std::size_t begin = byte_offset(s, start - 1);
  std::size_t end = begin + byte_offset(s.substr(begin), length);
  return std::string(s.substr(begin, end - begin));
}

std::string mid(std::string_view s, std::int64_t start) {
  if (start < 1) raise(RuntimeError::InvalidProcedureCall);
  return std::string(s.substr(byte_offset(s, start - 1)));
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.starts_with(prefix);
}

std::string replace_all(std::string_view s, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(s, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s, pos);
  return out;
}

std::string valid_utf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t before = pos;
    char32_t cp = next_code_point(s, pos);
    if (cp == 0xFFFD && !(pos - before == 3 && s.substr(before, 3) == "\xEF\xBF\xBD")) {
      append_utf8(out, 0xFFFD);
    } else {
      out.append(s, before, pos - before);
    }
  }
  return out;
}

}  // namespace tarvex::automation
