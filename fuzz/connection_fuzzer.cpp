// Arbitrary connection documents and connection texts: loading, masking and describing either
// succeed or raise an automation::Error, and a password given in the text never shows in the
// masked connection text nor in the description.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/error.h"
#include "automation/registry.h"
#include "automation/text.h"
#include "companions/registration.h"
#include "companions/store/connection_text.h"
#include "contracts/companions.h"

using namespace tarvex;

namespace {

// Texts that a masked form or a description may hold whatever the password is.
constexpr std::string_view kFixedWords[] = {"Connection Properties:",
                                            "Driver",
                                            "SQLite",
                                            "PostgreSQL",
                                            "Database",
                                            "Host",
                                            "Port",
                                            "User",
                                            "Password",
                                            "********"};

std::size_t occurrences(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

bool contains_ignoring_case(std::string_view text, std::string_view part) {
  return automation::ascii_lower(text).find(automation::ascii_lower(part)) != std::string::npos;
}

// A password that can only reach the output by leaking: long enough, no characters that the
// text's syntax, the mask or the description's layout use, and written once in the whole text.
// Anything else in the output is a key, a value or a fixed word, all of which hold it only
// when the text holds it twice.
bool is_distinctive(std::string_view password, std::string_view text) {
  if (password.size() < 4) return false;
  if (password.find_first_of("*;=\":\r\n") != std::string_view::npos) return false;
  for (std::string_view word : kFixedWords) {
    if (contains_ignoring_case(word, password)) return false;
  }
  return occurrences(text, password) <= 1;
}

std::vector<std::string> distinctive_passwords(const std::string& text) {
  std::vector<std::string> passwords;
  try {
    auto parsed = companions::store::ConnectionText::parse(text, {"Fuzz", "Parse"});
    for (const auto& property : parsed.properties()) {
      if (automation::ascii_iequals(property.key, "Password") &&
          is_distinctive(property.value, text))
        passwords.push_back(property.value);
    }
  } catch (const automation::Error&) {
  }
  return passwords;
}

void expect_hidden(const std::vector<std::string>& passwords, std::string_view shown) {
  for (const std::string& password : passwords) {
    if (shown.find(password) != std::string_view::npos) std::abort();
  }
}

// The connection text on its own: masking never shows a password; describing either works or
// raises, and its text hides the password too.
void check_text(const std::string& text) {
  std::vector<std::string> passwords = distinctive_passwords(text);
  std::string masked = companions::store::mask_passwords(text);
  expect_hidden(passwords, masked);

  auto& inspector = automation::shared<contracts::ConnectionInspector>();
  try {
    automation::ObjectRef connection = inspector.ConnectionFromText(text);
    expect_hidden(passwords, inspector.DescribeConnection(connection));
  } catch (const automation::Error&) {
  }
  // A connection that could not be made still gets an answer (or an error), never a crash.
  try {
    inspector.DescribeConnection(nullptr);
  } catch (const automation::Error&) {
  }
}

// The input as a whole connection document; when it loads, its connection text is checked as
// the report would use it.
void check_document(const std::string& input) {
  auto document = automation::create_new<contracts::ConnectionDocument>();
  try {
    document->LoadDocument(input);
  } catch (const automation::Error&) {
    return;
  }
  std::string text = document->ConnectionString(false);
  if (text.empty() || document->LocationName().empty() ||
      document->ApplicationContainerName().empty())
    std::abort();
  expect_hidden(distinctive_passwords(text), document->ConnectionString(true));
  check_text(text);
}

// The input as connection text inside a well-formed document: what LoadDocument gives back
// must be the text itself (blanks around it dropped), masked the same way.
void check_wrapped(const std::string& input) {
  std::string document_text =
      "<macrocontainerconnection><location>L</location>"
      "<applicationcontainer>C</applicationcontainer><connection><![CDATA[";
  document_text += automation::replace_all(input, "]]>", "]]]]><![CDATA[>");
  document_text += "]]></connection></macrocontainerconnection>";
  auto document = automation::create_new<contracts::ConnectionDocument>();
  try {
    document->LoadDocument(document_text);
  } catch (const automation::Error&) {
    return;
  }
  expect_hidden(distinctive_passwords(document->ConnectionString(false)),
                document->ConnectionString(true));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool registered = (companions::register_companions(), true);
  (void)registered;
  std::string input(reinterpret_cast<const char*>(data), size);
  check_document(input);
  check_text(input);
  check_wrapped(input);
  return 0;
}
