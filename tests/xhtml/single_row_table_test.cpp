// One-row tables: equal-share widths, plain, preformatted and bar-graph cells, and the failures
// of marked values that are too short or not numbers.
#include <gtest/gtest.h>

#include "automation/app.h"
#include "contracts/companions.h"
#include "report_fixture.h"

namespace tarvex::xhtml::testing {
namespace {

using automation::Array;
using automation::Null;
using automation::Variant;

using SingleRowTableTest = ReportTest;

// The outline of the row of the body's last table.
std::string last_row(const pugi::xml_document& document) {
  pugi::xml_node table = document.document_element().child("body").last_child();
  EXPECT_STREQ(table.name(), "table");
  EXPECT_FALSE(table.first_attribute());
  EXPECT_EQ(table.first_child(), table.last_child()) << "one row only";
  return outline(table.first_child());
}

std::string plain(const std::string& width, const std::string& text) {
  return "td[style=width: " + width + "]" + (text.empty() ? "" : "'" + text + "'");
}

std::string bar(const std::string& filled, const std::string& padding) {
  return "td[class=itemcountingraph,style=width: " + filled +
         "] td[class=paddingingraph,style=width: " + padding + "]";
}

TEST_F(SingleRowTableTest, values_become_cells_of_equal_share) {
  struct Case {
    std::vector<Variant> values;
    std::string row;
  };
  const Case cases[] = {
      {{}, "tr"},
      {{"only"}, "tr(" + plain("100.00%", "only") + ")"},
      {{"Label", 5}, "tr(" + plain("50.00%", "Label") + " " + plain("50.00%", "5") + ")"},
      {{Null{}, 2.5, true},
       "tr(" + plain("33.33%", "") + " " + plain("33.33%", "2.5") + " " + plain("33.33%", "True") +
           ")"},
      {{Variant(), "b", "c", "d", "e", "f"},
       "tr(" + plain("16.67%", "") + " " + plain("16.67%", "b") + " " + plain("16.67%", "c") + " " +
           plain("16.67%", "d") + " " + plain("16.67%", "e") + " " + plain("16.67%", "f") + ")"},
      {{"1", "2", "3", "4", "5", "6", "<b>7 & more</b>"},
       "tr(" + plain("14.29%", "1") + " " + plain("14.29%", "2") + " " + plain("14.29%", "3") +
           " " + plain("14.29%", "4") + " " + plain("14.29%", "5") + " " + plain("14.29%", "6") +
           " " + plain("14.29%", "<b>7 & more</b>") + ")"},
      {{"<preserve>line 1\r\n  line 2</preserve>"},
       "tr(td[style=width: 100.00%](pre'line 1\r\n  line 2'))"},
      {{"<preserve></preserve>", "<preserve>keep12345678901"},
       "tr(td[style=width: 50.00%](pre) td[style=width: 50.00%](pre'keep'))"},
      {{"<preserve>\xC3\xA9\xE2\x82\xAC</preserve>"},
       "tr(td[style=width: 100.00%](pre'\xC3\xA9\xE2\x82\xAC'))"},
      {{"<Preserve>x</Preserve>", "<GRAPH>1</GRAPH>"},
       "tr(" + plain("50.00%", "<Preserve>x</Preserve>") + " " +
           plain("50.00%", "<GRAPH>1</GRAPH>") + ")"},
      {{"<graph>0.25</graph>", "x"},
       "tr(" + bar("12.5%", "37.5%") + " " + plain("50.00%", "x") + ")"},
      {{"<graph>1.2</graph>", "x"},
       "tr(" + bar("60.0%", "-10.0%") + " " + plain("50.00%", "x") + ")"},
      {{"<graph>1</graph>"}, "tr(" + bar("100.0%", "0.0%") + ")"},
      {{"<graph>1.0000001</graph>"}, "tr(" + bar("100.0%", "0.0%") + ")"},
      {{"<graph>0.5ABCDEFGH"}, "tr(" + bar("50.0%", "50.0%") + ")"},
  };
  for (const Case& c : cases) report().AddSingleRowTableToBody(Variant(Array::of(c.values)));

  pugi::xml_document document = saved();
  pugi::xml_node table = document.document_element().child("body").child("table");
  for (const Case& c : cases) {
    ASSERT_TRUE(table) << c.row;
    EXPECT_EQ(outline(table), "table(" + c.row + ")");
    table = table.next_sibling("table");
  }
  EXPECT_TRUE(logged.empty());
}

// Counts one element more than the array holds.
class Overcounting : public contracts::ArrayUtility {
 public:
  std::int32_t RowCount(const Variant&) override { return 0; }
  std::int32_t RowLowerBound(const Variant&) override { return 0; }
  std::int32_t RowUpperBound(const Variant&) override { return -1; }
  std::int32_t ElementCount(const Variant& a) override {
    return static_cast<std::int32_t>(a.as_array().size()) + 1;
  }
  Variant CollectionToArray(const automation::ObjectRef&) override { return {}; }
};

TEST_F(SingleRowTableTest, failures_keep_what_was_added_and_are_logged) {
  struct Case {
    const char* what;
    Variant values;
    std::int32_t number;
    std::string row;  // the row as it stays
    bool overcount = false;
  };
  const Case cases[] = {
      {"preserved value of 20 characters", Variant(Array::of({"a", "<preserve>0123456789"})), 5,
       "tr(" + plain("50.00%", "a") + " td[style=width: 50.00%](pre))"},
      {"graph value of 14 characters", Variant(Array::of({"<graph>0.5</g>", "b"})), 5, "tr"},
      {"graph value that is not a number", Variant(Array::of({"x", "<graph>abc</graph>"})), 13,
       "tr(" + plain("50.00%", "x") + ")"},
      {"graph value without a number", Variant(Array::of({"<graph></graph>"})), 13, "tr"},
      {"array not starting at 0", Variant(Array({{1, 2}})), 9, "tr"},
      {"fewer elements than counted", Variant(Array::of({"a"})), 9,
       "tr(" + plain("50.00%", "a") + ")", true},
  };
  for (const Case& c : cases) {
    std::optional<automation::ScopedShared<contracts::ArrayUtility>> counting;
    if (c.overcount) counting.emplace(std::make_shared<Overcounting>());
    logged.clear();
    EXPECT_EQ(error_number_of([&] { report().AddSingleRowTableToBody(c.values); }), c.number)
        << c.what;
    EXPECT_EQ(last_row(saved()), c.row) << c.what;
    ASSERT_EQ(logged.size(), 1u) << c.what;
    EXPECT_EQ(logged[0].number, c.number);
    EXPECT_EQ(logged[0].module, "XHTMLDocument");
    EXPECT_EQ(logged[0].procedure, "AddSingleRowTableToBody");
    EXPECT_EQ(logged[0].application, automation::ObjectRef(automation::App()));
  }
}

}  // namespace
}  // namespace tarvex::xhtml::testing
