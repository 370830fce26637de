// Connection text: "Key=Value" pairs separated by ";", keys matched without regard to letter
// case, values that hold ";" or "=" written in double quotes with "" standing for one quote.
// Parsed in this one place for the inspector, the helper and the exporter.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "companions/store/store_errors.h"

namespace tarvex::companions::store {

enum class Driver { SQLite, PostgreSQL };

// "SQLite" or "PostgreSQL".
std::string_view driver_name(Driver driver);

struct ConnectionProperty {
  std::string key;    // as written, surrounding blanks dropped
  std::string value;  // unquoted, surrounding blanks of an unquoted value dropped
};

class ConnectionText {
 public:
  // Raises BadConnectionText (source from `where`) for an unterminated quote, a part without
  // "=", a key that is empty, text after a closing quote, or a Driver other than SQLite or
  // PostgreSQL (matched without regard to case).
  static ConnectionText parse(std::string_view text, const Where& where);

  // Every pair in the order of the text, repeated keys included.
  const std::vector<ConnectionProperty>& properties() const { return properties_; }
  Driver driver() const { return driver_; }
  // The value of the last pair with this key (any letter case), if there is one.
  std::optional<std::string> value(std::string_view key) const;

 private:
  std::vector<ConnectionProperty> properties_;
  Driver driver_ = Driver::SQLite;
};

// The spelling of a known key (Driver, Database, Host, Port, User, Password); any other key
// as it is.
std::string canonical_key(std::string_view key);

// The text with the whole value of every Password pair (quotes included) replaced by
// "********", whatever the key's case. Works on text that parse() refuses too: an unterminated
// quoted password is masked to the end of the text, and parts without "=" right after a
// password (the rest of one that holds ";" unquoted) are masked with it.
std::string mask_passwords(std::string_view text);

inline constexpr std::string_view kPasswordMask = "********";

// The value as it must be written in connection text: in double quotes when it holds ";",
// "=", a quote or surrounding blanks.
std::string quote_connection_value(std::string_view value);

}  // namespace tarvex::companions::store
