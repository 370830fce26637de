// Text sanitising for the document object model.
#include "companions/dom/xml_text.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "automation/error.h"
#include "automation/text.h"

namespace tarvex::companions::dom {

namespace {

bool xml_allows(char32_t cp) {
  if (cp < 0x20) return cp == U'\t' || cp == U'\n' || cp == U'\r';
  return cp != 0xFFFE && cp != 0xFFFF;  // surrogates never decode: they arrive as U+FFFD
}

bool is_name_start(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool is_name_char(unsigned char c) {
  return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

}  // namespace

TextScan scan_text(std::string_view text, const EscapeTable& escapes) {
  // One lookup a byte and no branch for nearly every text; a closer look only where a byte may
  // be unsafe.
  std::uint8_t seen = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time where the table allows it: a block of printable ASCII without &, <,
  // > and " has no class at all. A message of a progress listing is mostly such blocks.
  if (escapes.printables_plain()) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i del = _mm_set1_epi8(0x7F);
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i quote = _mm_set1_epi8('"');
    for (; i + 16 <= text.size(); i += 16) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
      // Signed: bytes from 0x80 up are below the blank too.
      __m128i special = _mm_or_si128(_mm_cmplt_epi8(b, space), _mm_cmpeq_epi8(b, del));
      special = _mm_or_si128(special, _mm_or_si128(_mm_cmpeq_epi8(b, amp), _mm_cmpeq_epi8(b, lt)));
      special =
          _mm_or_si128(special, _mm_or_si128(_mm_cmpeq_epi8(b, gt), _mm_cmpeq_epi8(b, quote)));
      if (_mm_movemask_epi8(special) == 0) continue;
      for (std::size_t j = i; j < i + 16; ++j) seen |= escapes.class_of(text[j]);
    }
  }
#endif
  for (; i < text.size(); ++i) seen |= escapes.class_of(text[i]);
  TextScan scan;
  scan.escaped = (seen & EscapeTable::kEscaped) != 0;
  if ((seen & EscapeTable::kMaybeUnsafe) == 0) return scan;
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  for (std::size_t pos = 0; pos < text.size();) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
        scan.unsafe = pos;
        return scan;
      }
      ++pos;
      continue;
    }
    const std::size_t before = pos;
    const char32_t cp = automation::next_code_point(text, pos);
    // U+FFFD stands for a broken sequence too: only its own three bytes are safe.
    if (cp == 0xFFFD ? text.substr(before, pos - before) != kReplacement : !xml_allows(cp)) {
      scan.unsafe = before;
      return scan;
    }
  }
  return scan;
}

void put_escaped(contracts::TextSink& out, std::string_view text, const EscapeTable& escapes) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view entity = escapes[text[i]];
    if (entity.empty()) continue;
    out.put(text.substr(run, i - run));
    out.put(entity);
    run = i + 1;
  }
  out.put(text.substr(run));
}

std::string xml_text(std::string_view text) {
  // Most texts are safe as they are: copy them whole, and only the rest code point by code point.
  std::size_t pos = scan_text(text, kXmlEscapes.content).unsafe;
  if (pos == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  out.append(text.substr(0, pos));
  while (pos < text.size()) {
    std::size_t before = pos;
    char32_t cp = automation::next_code_point(text, pos);
    if (cp == 0xFFFD || !xml_allows(cp)) {
      automation::append_utf8(out, 0xFFFD);
    } else {
      out.append(text, before, pos - before);
    }
  }
  return out;
}

std::string xml_comment_text(std::string_view text) {
  std::string safe = xml_text(text);
  if (safe.find('-') == std::string::npos) return safe;
  std::string out;
  out.reserve(safe.size() + 8);
  for (char c : safe) {
    if (c == '-' && !out.empty() && out.back() == '-') out += ' ';
    out += c;
  }
  if (out.back() == '-') out += ' ';
  return out;
}

void check_xml_name(std::string_view name) {
  bool valid = !name.empty() && is_name_start(static_cast<unsigned char>(name.front()));
  bool ascii = valid && static_cast<unsigned char>(name.front()) < 0x80;
  for (std::size_t i = 1; valid && i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    valid = is_name_char(c);
    ascii = ascii && c < 0x80;
  }
  // Only a name beyond ASCII can be broken UTF-8.
  if (valid && !ascii && automation::valid_utf8(name) != name) valid = false;
  if (!valid) {
    automation::raise(automation::RuntimeError::InvalidProcedureCall,
                      "'" + automation::valid_utf8(name) + "' is not an XML name");
  }
}

}  // namespace tarvex::companions::dom
