// The host program `tarvex.exe` on Windows: the product's macro engine's part, with the plug-in
// created through the platform by its ProgID from the registered Tarvex_83.dll. Only `run` and
// `validate`: stores and demonstrations are made by the host of the other systems.
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "automation/com/com.h"
#include "automation/registry.h"
#include "host/commands.h"

namespace {

// The command line in UTF-8: the narrow arguments would be in the system's code page.
std::vector<std::string> utf8_arguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i)
    out.push_back(tarvex::automation::com::utf8(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return out;
}

}  // namespace

int main() {
  // Line ends as written: the C runtime would turn "\n" into CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fputs("error: the component object model cannot be started\n", stderr);
    return 1;
  }
  tarvex::automation::set_object_creator(tarvex::automation::com::create_by_progid);

  std::vector<std::string> arguments = utf8_arguments();
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());

  CLI::App app{"tarvex - runs macro report steps through the registered Tarvex_83.dll"};
  app.require_subcommand(1);
  tarvex::host::add_run_commands(app);
  int status = 0;
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::RuntimeError& e) {
    status = e.get_exit_code();
  } catch (const CLI::ParseError& e) {
    status = app.exit(e) == 0 ? 0 : 2;
  }
  std::fflush(stdout);
  CoUninitialize();
  return status;
}
