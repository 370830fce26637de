// The connection inspector: turns connection text into a connection object and describes a
// connection's properties for the report's front matter.
#pragma once

#include <memory>
#include <string>

#include "companions/store/connection_text.h"
#include "contracts/companions.h"

namespace tarvex::companions::store {

// A parsed connection. By member name: Driver -> "SQLite" or "PostgreSQL"; Item(key) -> the
// key's value, or the empty value when the text has no such key.
class Connection : public automation::Object {
 public:
  explicit Connection(ConnectionText text) : text_(std::move(text)) {}
  const ConnectionText& text() const { return text_; }

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  ConnectionText text_;
};

class ConnectionInspectorImpl : public contracts::ConnectionInspector {
 public:
  // Raises BadConnectionText for text that does not parse or names an unknown driver.
  automation::ObjectRef ConnectionFromText(const std::string& text) override;
  // "Connection Properties:", then one "Key: Value" a paragraph, CR LF line ends, paragraphs
  // separated by an empty line, no line end after the last: the driver first, then the other
  // keys in the order of the text, known keys in their canonical spelling, passwords masked.
  // Raises 91 for no object and 13 for an object that is not a connection.
  std::string DescribeConnection(const automation::ObjectRef& connection) override;
};

}  // namespace tarvex::companions::store
