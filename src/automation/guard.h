// The error-handling convention, once. A guarded procedure states its class (or module) and
// procedure name; its body may number its statements. On any error the guard hands the error,
// App, the number of the failing statement (0 where none), the project name, the class and the
// procedure to LogAndReRaiseVBError of a new "Faultkit_83.Helper", which records the error and
// raises it again. Should the logger return instead, the procedure ends normally with its
// result so far.
//
//   void Examiner::ReportOnMacros(...) {
//     guarded({"Examiner", "ReportOnMacros"}, [&](std::int32_t& line) {
//       line = 100; ...
//     });
//   }
//   Variant Examiner::GetMacroGUIDs(...) {
//     return guarded<Variant>({"Examiner", "GetMacroGUIDs"}, [&](Variant& result) { ... });
//   }
//
// Two further patterns: skip_failures() runs statements one by one and skips those that fail;
// handle_errors() turns an error into a handled value and carries on.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>

#include "automation/error.h"

namespace tarvex::automation {

inline constexpr std::string_view kErrorLoggerProgId = "Faultkit_83.Helper";
inline constexpr std::string_view kLogAndReRaise = "LogAndReRaiseVBError";

struct Where {
  std::string_view module;     // class or module name
  std::string_view procedure;  // procedure name
};

// Passes `error` to a new error-logging component, which is expected to raise it again.
void log_and_reraise(const Error& error, const Where& where, std::int32_t line);

namespace detail {
template <class F, class... A>
void run_body(F& body, std::int32_t& line, A&... result) {
  if constexpr (std::is_invocable_v<F&, A&..., std::int32_t&>) {
    body(result..., line);
  } else {
    body(result...);
  }
}
}  // namespace detail

template <class R = void, class F>
R guarded(const Where& where, F&& body) {
  std::int32_t line = 0;
  if constexpr (std::is_void_v<R>) {
    try {
      detail::run_body(body, line);
    } catch (...) {
      log_and_reraise(error_from_current_exception(), where, line);
    }
  } else {
    R result{};
    try {
      detail::run_body(body, line, result);
    } catch (...) {
      log_and_reraise(error_from_current_exception(), where, line);
    }
    return result;
  }
}

// Runs each statement in turn; one that fails is skipped and the next one runs.
template <class... F>
void skip_failures(F&&... statements) {
  auto run = [](auto& statement) {
    try {
      statement();
    } catch (...) {
    }
  };
  (run(statements), ...);
}

// Runs `body`; an error it raises is given to `handler` instead of travelling on. An error of
// the handler itself travels on unchanged.
template <class F, class H>
void handle_errors(F&& body, H&& handler) {
  bool failed = false;
  Error error(0, {}, {});
  try {
    body();
  } catch (...) {
    failed = true;
    error = error_from_current_exception();
  }
  if (failed) handler(error);
}

}  // namespace tarvex::automation
