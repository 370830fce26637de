// XHTMLDocument: one report while it is being written, an XHTML 1.0 Strict page built in the
// document object model by appending only (skeleton, headers with their table-of-contents
// entries, paragraphs, one-row tables), and saved with its XML declaration and DOCTYPE line.
//
// Reachable directly and by member name (SetTitle, SetStyle, AddBodyParagraph,
// AddSingleRowTableToBody, AddBodyHeader with an optional level, Save). Every operation logs
// its errors through the error-logging component and raises them again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/object.h"
#include "automation/variant.h"

namespace tarvex::xhtml {

class XHTMLDocument : public automation::Object {
 public:
  // A new document with its complete skeleton; a failure of the construction is raised.
  static std::shared_ptr<XHTMLDocument> create();

  // Replaces the title text.
  void SetTitle(const std::string& NewTitle);
  // Appends the style sheet, unchanged, as one more comment of the style element.
  void SetStyle(const std::string& sStyleSheetContents);
  void AddBodyParagraph(const std::string& sParagraphText);
  // One table of one row: a cell for every element of the zero-based array, each an equal
  // share wide. "<preserve>text</preserve>" gives a preformatted cell, "<graph>x</graph>" a
  // bar of fraction x made of two cells. Raises 9 for an array that is not zero-based or
  // shorter than its element count says, 5 for a marked value too short to hold its markers,
  // 13 for a graph fraction that is not a number; cells added before stay.
  void AddSingleRowTableToBody(automation::Variant ValueMatrix);
  // A header "h<level>" with a new id, and its entry in the table of contents.
  void AddBodyHeader(const std::string& sHeaderText, std::int32_t lHeaderLevel = 1);
  // Writes the declaration, the DOCTYPE line and the document's markup to FilePath.
  void Save(const std::string& FilePath);

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  XHTMLDocument() = default;
  void Class_Initialize();

  automation::ObjectRef dom_;
  automation::ObjectRef head_;
  automation::ObjectRef body_;
  automation::ObjectRef title_;
  automation::ObjectRef table_of_contents_;
  automation::ObjectRef style_;
};

}  // namespace tarvex::xhtml
