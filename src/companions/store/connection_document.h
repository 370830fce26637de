// The connection document: which application container to inspect and how to reach its store,
// loaded from the XML text of the step parameter "macrocontainerconnectiondocument":
//
//   <macrocontainerconnection>
//     <location>SRV</location>
//     <applicationcontainer>Sales</applicationcontainer>
//     <connection>Driver=SQLite;Database=demo/store.db</connection>
//   </macrocontainerconnection>
#pragma once

#include <optional>
#include <string>

#include "contracts/companions.h"

namespace tarvex::companions::store {

class ConnectionDocumentImpl : public contracts::ConnectionDocument {
 public:
  // Raises BadConnectionDocument, saying what is wrong, for text that is not well-formed XML,
  // another root element, a missing element or an empty or blank value. A refused document
  // leaves what was loaded before.
  void LoadDocument(const std::string& text) override;
  // Each raises BadConnectionDocument until a document is loaded.
  std::string LocationName() override;
  std::string ApplicationContainerName() override;
  // false: the connection text as loaded; true: the same with every password masked.
  std::string ConnectionString(bool flag) override;

  // Members LoadDocument, LocationName, ApplicationContainerName, ConnectionString(flag).
  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  struct Loaded {
    std::string location;
    std::string container;
    std::string connection;
  };
  const Loaded& loaded(std::string_view procedure) const;

  std::optional<Loaded> loaded_;
};

}  // namespace tarvex::companions::store
