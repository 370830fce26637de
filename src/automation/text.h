// Text helpers for UTF-8 strings that count characters (code points), never bytes, so that no
// operation cuts a multi-byte sequence; plus the ASCII case-insensitive comparison that member
// names and keywords use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvex::automation {

bool ascii_iequals(std::string_view a, std::string_view b);
std::string ascii_lower(std::string_view s);

// Number of characters; an invalid byte counts as one character.
std::size_t char_count(std::string_view s);

// The characters from `start` (1-based) on, at most `length` of them, as the platform's Mid
// does; a start below 1 or a negative length raises 5. A start past the end gives "".
std::string mid(std::string_view s, std::int64_t start, std::int64_t length);
std::string mid(std::string_view s, std::int64_t start);

// Whether the text begins with `prefix`, compared exactly.
bool starts_with(std::string_view s, std::string_view prefix);

// Replaces every occurrence of `from` (non-empty) with `to`, in one pass.
std::string replace_all(std::string_view s, std::string_view from, std::string_view to);

// Decodes one code point at `pos`, advancing it; an invalid sequence yields U+FFFD and
// advances by one byte.
char32_t next_code_point(std::string_view s, std::size_t& pos);
void append_utf8(std::string& out, char32_t cp);

// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string valid_utf8(std::string_view s);

}  // namespace tarvex::automation
