// Writing a file so that a reader never sees it half written: the text goes to a temporary
// file beside the target, which is then renamed over it.
#pragma once

#include <string>

#include "companions/store/store_errors.h"

namespace tarvex::companions::store {

// Afterwards `path` holds exactly `text`, or (on failure) what it held before. Not flushed to
// the disk: these files are copies that the next run writes again, and a flush a file would
// make an export of thousands of steps take minutes. Raises `kind` naming the path and the
// operating system's reason.
void write_file_replacing(const std::string& path, const std::string& text, StoreError kind,
                          const Where& where);

}  // namespace tarvex::companions::store
