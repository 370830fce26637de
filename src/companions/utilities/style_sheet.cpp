// The report's style sheet. The report is a long run of one-row tables (label and value rows of
// two cells, error rows of four, progress rows of seven), each with fixed equal-share cell
// widths; with a fixed table layout the cells of consecutive tables line up, so the rows read as
// one list. Rows are told apart by their number of cells, since they carry no classes.
#include "companions/utilities/style_sheet.h"

namespace tarvex::companions::utilities {

namespace {

constexpr std::string_view kStyleSheet = R"css(
/* Page */
html { background: #f4f5f7; }
body {
  margin: 0 auto;
  padding: 1.5em 2em 3em 2em;
  max-width: 72em;
  background: #ffffff;
  color: #1f2328;
  font-family: "Segoe UI", "Helvetica Neue", Arial, "Liberation Sans", sans-serif;
  font-size: 14px;
  line-height: 1.45;
}
a { color: #0b5cad; text-decoration: none; }
a:hover, a:focus { text-decoration: underline; }
p { margin: 0.4em 0 0.8em 0; }

/* Headers */
h1, h2, h3, h4, h5, h6 { font-weight: 600; line-height: 1.25; color: #14213d; }
h1 {
  font-size: 1.9em;
  margin: 0.2em 0 0.6em 0;
  padding-bottom: 0.3em;
  border-bottom: 3px solid #14213d;
}
h2 {
  font-size: 1.45em;
  margin: 1.6em 0 0.5em 0;
  padding-bottom: 0.2em;
  border-bottom: 1px solid #c9ced6;
}
h3 { font-size: 1.2em; margin: 1.3em 0 0.4em 0; }
h4 { font-size: 1.05em; margin: 1.1em 0 0.3em 0; color: #33415c; }
h5, h6 { font-size: 0.95em; margin: 1em 0 0.3em 0; color: #4a5568; }

/* Table of contents: one entry a div, indented by the level of its header */
#tableofcontents {
  margin: 0.5em 0 2em 0;
  padding: 0.8em 1.2em;
  background: #f7f9fc;
  border: 1px solid #dde3ea;
  border-radius: 4px;
}
#tableofcontents div { margin: 0.1em 0; }
#tableofcontents a { display: block; }
.h1intoc { padding-left: 0; font-weight: 600; }
.h2intoc { padding-left: 1.5em; font-weight: 600; margin-top: 0.3em; }
.h3intoc { padding-left: 3em; }
.h4intoc { padding-left: 4.5em; font-size: 0.95em; }
.h5intoc { padding-left: 6em; font-size: 0.9em; color: #4a5568; }

/* One-row tables: equal shares that line up from one table to the next */
table {
  width: 100%;
  table-layout: fixed;
  border-collapse: collapse;
  border-spacing: 0;
  margin: 0;
}
td {
  padding: 0.2em 0.6em;
  vertical-align: top;
  border-bottom: 1px solid #edf0f3;
  overflow-wrap: break-word;
  word-wrap: break-word;
}
table:hover td { background: #fafbfd; }

/* Label and value rows: a quiet label, the value in front */
td:first-child:nth-last-child(2) { color: #5a6472; }
td:first-child:nth-last-child(2) + td { color: #1f2328; }

/* Preformatted values keep their line breaks and wrap long lines */
pre {
  margin: 0;
  padding: 0.3em 0.5em;
  white-space: pre-wrap;
  overflow-wrap: break-word;
  word-wrap: break-word;
  font-family: Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace;
  font-size: 0.92em;
  background: #f6f8fa;
  border-left: 3px solid #d0d7de;
}

/* Bar graphs: the bar and the rest of its share */
td.itemcountingraph {
  padding: 0;
  height: 1em;
  background: #3b82c4;
  border-bottom: 1px solid #2f6ea8;
}
td.paddingingraph {
  padding: 0;
  height: 1em;
  background: #e8eef5;
}

/* Error rows: label, description, number and source */
td:first-child:nth-last-child(4) {
  color: #a4161a;
  font-weight: 600;
  border-left: 4px solid #d62828;
  background: #fdecea;
}
td:first-child:nth-last-child(4) ~ td {
  color: #6a040f;
  background: #fdecea;
  border-bottom: 1px solid #f5c2c0;
}

/* Progress listings: seven small cells a row, a compact grid */
td:first-child:nth-last-child(7),
td:first-child:nth-last-child(7) ~ td {
  padding: 0.1em 0.4em;
  font-size: 0.85em;
  border-bottom: 1px solid #e3e7ec;
  border-right: 1px solid #eef1f4;
}
td:first-child:nth-last-child(7) {
  font-family: Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace;
  white-space: nowrap;
  overflow: hidden;
  text-overflow: ellipsis;
  color: #4a5568;
}

/* Paper */
@media print {
  @page { margin: 1.5cm; }
  html, body { background: #ffffff; }
  body {
    max-width: none;
    padding: 0;
    color: #000000;
    font-size: 9.5pt;
  }
  a { color: #000000; }
  body > div[style] { display: none; }
  h1, h2, h3, h4, h5 { page-break-after: avoid; break-after: avoid; color: #000000; }
  table, pre { page-break-inside: avoid; break-inside: avoid; }
  #tableofcontents {
    background: none;
    border: none;
    padding: 0;
    page-break-after: always;
    break-after: page;
  }
  table:hover td { background: none; }
  td { border-bottom: 0.5pt solid #bbbbbb; }
  td:first-child:nth-last-child(2) { color: #333333; }
  pre { background: none; border-left: 1pt solid #888888; }
  td.itemcountingraph, td.paddingingraph,
  td:first-child:nth-last-child(4), td:first-child:nth-last-child(4) ~ td {
    -webkit-print-color-adjust: exact;
    print-color-adjust: exact;
  }
  td.itemcountingraph { background: #555555; }
  td.paddingingraph { background: #e5e5e5; }
}
)css";

}  // namespace

std::string_view report_style_sheet() {
  return kStyleSheet;
}

}  // namespace tarvex::companions::utilities
