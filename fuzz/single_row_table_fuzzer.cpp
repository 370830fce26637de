// Arbitrary values for one-row tables: each call either adds its table or raises an
// automation::Error, and the saved report always parses as XML.
#include <pugixml.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "automation/variant.h"
#include "companions/registration.h"
#include "xhtml/xhtml_document.h"

using namespace tarvex;

namespace {
// A logger that only raises the error again: the fuzzer is about the document, not the trace.
class SilentLogger : public automation::Object {
 public:
  automation::Variant invoke(std::string_view, automation::CallKind,
                             automation::Args& args) override {
    automation::call(args[0], "Raise");
    return {};
  }
};

// Cells from the input: a byte 0x1F separates cells; a cell's first byte picks its kind.
automation::Variant cell(const std::string& raw) {
  if (raw.empty()) return {};
  std::string rest = raw.substr(1);
  switch (static_cast<unsigned char>(raw[0]) % 6) {
    case 0:
      return automation::Variant(automation::Null{});
    case 1:
      return automation::Variant("<graph>" + rest);
    case 2:
      return automation::Variant("<preserve>" + rest);
    case 3:
      return automation::Variant(static_cast<double>(rest.size()) / 7.0);
    default:
      return automation::Variant(rest);
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool registered = [] {
    companions::register_companions();
    automation::register_progid(automation::kErrorLoggerProgId,
                                [] { return std::make_shared<SilentLogger>(); });
    return true;
  }();
  (void)registered;

  std::vector<automation::Variant> cells;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0x1F) {
      cells.push_back(cell(current));
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  cells.push_back(cell(current));

  automation::Array row = automation::Array::of(std::move(cells));
  row.check_invariants();
  auto report = xhtml::XHTMLDocument::create();
  try {
    report->AddSingleRowTableToBody(std::move(row));
  } catch (const automation::Error&) {
  }
  static const std::string path =
      (std::filesystem::temp_directory_path() / "tarvex_fuzz_table.html").string();
  report->Save(path);
  pugi::xml_document parsed;
  if (!parsed.load_file(path.c_str())) std::abort();
  return 0;
}
