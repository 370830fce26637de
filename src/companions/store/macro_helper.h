// The macro database helper, created by ProgID and called by member name:
//
//   MacroRead(doc)                              the container's macros
//   MacroRead(doc, guid)                        the container's macro rows with that GUID
//   MacroStepReadInformationForMacro(doc, guid) the steps of that macro
//   MacroStepProgressRead(doc, step guid)       the progress messages of that step
//
// `doc` is the ConnectionDocument; every argument arrives by reference and is left as it was.
// Results and their columns are those of MacroStoreDriver. The store is opened on the first
// read and kept open while the connection text stays the same.
#pragma once

#include <memory>
#include <string>

#include "automation/object.h"
#include "companions/store/macro_store_driver.h"

namespace tarvex::companions::store {

inline constexpr std::string_view kMacroHelperProgId = "Stepstore_83.Helper";

class MacroHelper : public automation::Object {
 public:
  explicit MacroHelper(StoreOptions options = {}) : options_(options) {}

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  // The driver for the document's connection, opened (or reopened) as needed, and the
  // document's container name.
  MacroStoreDriver& driver(const automation::Variant& document, std::string_view procedure,
                           std::string& container);

  StoreOptions options_;
  std::string connection_text_;
  std::unique_ptr<MacroStoreDriver> driver_;
};

}  // namespace tarvex::companions::store
