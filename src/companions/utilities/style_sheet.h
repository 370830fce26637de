// The report's style sheet, as the resource "Style Sheet" hands it out. It travels inside an
// XML comment, so it never contains two hyphens in a row and never ends with one.
#pragma once

#include <string_view>

namespace tarvex::companions::utilities {

std::string_view report_style_sheet();

}  // namespace tarvex::companions::utilities
