// Hints: each names the option that gives what was missing or mistaken.
#include "host/hints.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <cstdio>

namespace tarvex::host {

namespace {

constexpr std::string_view kMethod = "tarvex";
constexpr std::string_view kDocument = "macrocontainerconnectiondocument";
constexpr std::string_view kFolder = "reportfolder";
constexpr std::string_view kProgress = "reportmacrostepprogress";

constexpr std::int32_t kInvalidArgument = 5;
constexpr std::int32_t kTypeMismatch = 13;
constexpr std::int32_t kInvalidUseOfNull = 94;

std::string missing_hint(const std::string& name) {
  if (name == kDocument)
    return fmt::format("give the connection document with --param-file {}=FILE", name);
  if (name == kFolder) return fmt::format("give the report's folder with --param {}=FOLDER", name);
  if (name == kProgress)
    return fmt::format("give --param-bool {}=true (list every progress message) or =false", name);
  return fmt::format("give it with --param {}=TEXT", name);
}

// A document's text starts with markup; a file's path does not.
bool looks_like_markup(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t\r\n");
  return start != std::string_view::npos && text[start] == '<';
}

bool boolean_or_number(const automation::Variant& value) {
  return value.kind() == automation::Kind::Boolean || value.is_numeric();
}

}  // namespace

std::optional<std::string> hint_for(const automation::Error& error, const StepScript& script) {
  if (script.method_name() != kMethod) {
    return fmt::format("this plug-in runs only steps whose method name is '{}' (--method {})",
                       kMethod, kMethod);
  }
  if (error.number() == kInvalidArgument && !script.first_missing().empty())
    return missing_hint(script.first_missing());

  const std::string document(kDocument);
  if (const automation::Variant* text = script.value(document);
      text && script.option(document) == "--param" && text->kind() == automation::Kind::String &&
      !looks_like_markup(text->as_string())) {
    return fmt::format(
        "{} takes the document's text; to read it from the file, give --param-file {}={}", document,
        document, text->as_string());
  }

  const std::string progress(kProgress);
  if (const automation::Variant* flag = script.value(progress);
      flag && (error.number() == kTypeMismatch || error.number() == kInvalidUseOfNull) &&
      !boolean_or_number(*flag)) {
    return fmt::format("{} takes true or false (--param-bool {}=true) or a number", progress,
                       progress);
  }
  return std::nullopt;
}

void fail_with_hint(const StepScript* script) {
  automation::Error e = automation::error_from_current_exception();
  fmt::print(stderr, "error {}: {} (source {})\n", e.number(), e.description(), e.source());
  if (script) {
    if (auto hint = hint_for(e, *script)) fmt::print(stderr, "hint: {}\n", *hint);
  }
  throw CLI::RuntimeError(1);
}

}  // namespace tarvex::host
