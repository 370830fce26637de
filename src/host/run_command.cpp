// The `tarvex run` and `tarvex validate` sub-commands: build a step script from the command
// line, create the plug-in by its ProgID and call it as the product's macro engine would.
#include <fmt/format.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "automation/convert.h"
#include "automation/file_path.h"
#include "automation/text.h"
#include "contracts/late_bound.h"
#include "host/commands.h"
#include "host/step_runner.h"
#include "host/step_script.h"

namespace tarvex::host {

using automation::Variant;

namespace {

// The options as parsed; step_parameters() reads the parameters back in command-line order.
struct StepCommandOptions : StepOptions {
  std::vector<std::string> texts, files, numbers, booleans, nulls, empties;
};

// NAME=VALUE split at the first "=".
std::pair<std::string, std::string> split_assignment(const std::string& option,
                                                     const std::string& text) {
  auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0)
    throw CLI::ValidationError(option, "expected NAME=VALUE, got '" + text + "'");
  return {text.substr(0, eq), text.substr(eq + 1)};
}

std::string read_file(const std::string& option, const std::string& name, const std::string& path) {
  std::ifstream in(automation::file_path(path), std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  if (!in || in.bad())
    throw CLI::ValidationError(option, "cannot read the file '" + path + "' for '" + name + "'");
  return content.str();
}

Variant number_value(const std::string& option, const std::string& name, const std::string& text) {
  auto number = automation::parse_number(text);
  if (!number)
    throw CLI::ValidationError(option, "expected a number for '" + name + "', got '" + text + "'");
  bool integral = text.find_first_of(".eE") == std::string::npos;
  if (integral && *number >= INT32_MIN && *number <= INT32_MAX)
    return static_cast<std::int32_t>(*number);
  return *number;
}

Variant boolean_value(const std::string& option, const std::string& name, const std::string& text) {
  if (automation::ascii_iequals(text, "true")) return true;
  if (automation::ascii_iequals(text, "false")) return false;
  throw CLI::ValidationError(option,
                             "expected true or false for '" + name + "', got '" + text + "'");
}

// The step's parameters, in command-line order so that a later value replaces an earlier one
// whatever option gave either.
StepParameters step_parameters(const CLI::App& command) {
  StepParameters parameters;
  std::map<const CLI::Option*, std::size_t> taken;
  for (const CLI::Option* option : command.parse_order()) {
    const std::string& flag = option->get_name();
    if (!flag.starts_with("--param")) continue;
    const std::string& text = option->results().at(taken[option]++);
    auto put = [&](const std::string& name, Variant value) {
      std::string key = automation::ascii_lower(name);
      parameters.values.insert_or_assign(key, std::move(value));
      parameters.options.insert_or_assign(key, flag);
    };
    if (flag == "--param-null") {
      put(text, automation::Null{});
    } else if (flag == "--param-empty") {
      put(text, Variant{});
    } else {
      auto [name, value] = split_assignment(flag, text);
      if (flag == "--param")
        put(name, value);
      else if (flag == "--param-file")
        put(name, read_file(flag, name, value));
      else if (flag == "--param-number")
        put(name, number_value(flag, name, value));
      else if (flag == "--param-bool")
        put(name, boolean_value(flag, name, value));
    }
  }
  return parameters;
}

void add_step_options(CLI::App& command, StepCommandOptions& options) {
  command.add_option("--method", options.method, "the step's method name, taken exactly")
      ->default_str("tarvex");
  auto repeated = [&](const char* flag, std::vector<std::string>& into, const char* help) {
    command.add_option(flag, into, help)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  repeated("--param", options.texts, "NAME=TEXT: a text parameter");
  repeated("--param-file", options.files, "NAME=PATH: a text parameter read from a file");
  repeated("--param-number", options.numbers, "NAME=NUMBER: a numeric parameter");
  repeated("--param-bool", options.booleans, "NAME=true|false: a boolean parameter");
  repeated("--param-null", options.nulls, "NAME: a parameter whose value is null");
  repeated("--param-empty", options.empties, "NAME: a parameter whose value was never set");
  command.add_option("--trace", options.trace,
                     "write trace lines and logged errors to FILE ('-': standard error)");
  command.add_flag("--quiet", options.quiet, "print nothing but errors");
}

}  // namespace

void add_run_commands(CLI::App& app) {
  auto options = std::make_shared<StepCommandOptions>();

  CLI::App* run = app.add_subcommand("run", "run one macro step of the report plug-in");
  add_step_options(*run, *options);
  run->callback([run, options] { run_step(*options, step_parameters(*run)); });

  CLI::App* validate = app.add_subcommand("validate", "have the plug-in validate one step");
  add_step_options(*validate, *options);
  validate->callback([validate, options] {
    auto script = std::make_shared<StepScript>(options->method, step_parameters(*validate));
    with_plugin(*options, script.get(), [&](const automation::ObjectRef& plugin) {
      for (const char* member : {"ValidateStructure", "ValidateContent"}) {
        Variant items = automation::call(plugin, member, script);
        if (!options->quiet)
          fmt::print("{}: {} item(s)\n", member,
                     automation::to_long(automation::get(items, "Count")));
      }
    });
  });
}

}  // namespace tarvex::host
