// The runtime failure table and the conversion of stray exceptions into errors.
#include "automation/error.h"

#include <new>

namespace tarvex::automation {

std::string_view runtime_description(std::int32_t number) {
  switch (number) {
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case 13:
      return "Type mismatch";
    case 91:
      return "Object variable or With block variable not set";
    case 94:
      return "Invalid use of Null";
    case 424:
      return "Object required";
    case 429:
      return "ActiveX component can't create object";
    case 438:
      return "Object doesn't support this property or method";
    case 450:
      return "Wrong number of arguments or invalid property assignment";
    case 457:
      return "This key is already associated with an element of this collection";
    default:
      return {};
  }
}

void append_qualified_name(std::string& out, std::string_view project, std::string_view class_name,
                           std::string_view procedure) {
  out.reserve(out.size() + project.size() + class_name.size() + procedure.size() + 2);
  out += project;
  out += '.';
  out += class_name;
  if (!procedure.empty()) {
    out += '.';
    out += procedure;
  }
}

std::string qualified_name(std::string_view project, std::string_view class_name,
                           std::string_view procedure) {
  std::string name;
  append_qualified_name(name, project, class_name, procedure);
  return name;
}

std::string_view runtime_source() {
  return kProjectName;
}

void raise(RuntimeError code, std::string_view detail) {
  auto number = static_cast<std::int32_t>(code);
  std::string description(runtime_description(number));
  if (!detail.empty()) {
    description += ": ";
    description += detail;
  }
  throw Error(number, std::string(runtime_source()), std::move(description));
}

Error error_from_current_exception() {
  try {
    throw;
  } catch (const Error& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return Error(7, std::string(runtime_source()), std::string(runtime_description(7)));
  } catch (const std::exception& e) {
    return Error(5, std::string(runtime_source()),
                 std::string(runtime_description(5)) + ": " + e.what());
  } catch (...) {
    return Error(5, std::string(runtime_source()), std::string(runtime_description(5)));
  }
}

}  // namespace tarvex::automation
