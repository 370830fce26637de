// Writing a file so that a reader never sees it half written, for the store's own files (the
// connection document beside a store): the file writer, with the store's errors.
#pragma once

#include <string>

#include "companions/store/store_errors.h"

namespace tarvex::companions::store {

// Afterwards `path` holds exactly `text`, or (on failure) what it held before. Not flushed to
// the disk: a file that the next run writes again. Raises `kind` naming the path and the
// operating system's reason.
void write_file_replacing(const std::string& path, const std::string& text, StoreError kind,
                          const Where& where);

}  // namespace tarvex::companions::store
