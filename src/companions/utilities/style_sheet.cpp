// The report's style sheet. The report is a long run of one-row tables (label and value rows of
// two cells, error rows of four, progress rows of seven) whose cells carry equal shares of the
// width; the sheet gives each kind of row its own column widths, and with a fixed table layout
// the cells of consecutive tables line up, so the rows read as one list. Rows are told apart by
// their number of cells, since they carry no classes. The sheet sits in an XML comment: it
// never holds two hyphens in a row nor ends in one.
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

/* Headers: the report, its sections, one band a macro, then its steps */
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
h3 {
  font-size: 1.2em;
  margin: 2em 0 0.5em 0;
  padding: 0.35em 0.6em;
  background: #e9eef5;
  border-left: 5px solid #14213d;
}
h4 {
  font-size: 0.95em;
  margin: 1.4em 0 0.2em 0;
  color: #33415c;
}
h5, h6 {
  font-size: 1em;
  margin: 1.3em 0 0.3em 0;
  padding-left: 0.5em;
  border-left: 3px solid #8aa4c8;
  color: #1f2328;
}
body > p { color: #5a6472; font-size: 0.95em; }

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
.h3intoc { padding-left: 3em; margin-top: 0.25em; }
.h4intoc { padding-left: 4.5em; font-size: 0.9em; }
.h5intoc { padding-left: 6em; font-size: 0.9em; }
.h4intoc a { color: #5a6472; }

/* One-row tables. The document gives every cell an equal share in its own style attribute;
   the shares below (marked important to win over it) give labels a narrow column and the
   values the rest. With a fixed layout the columns of consecutive tables line up, so a run of
   tables reads as one list. */
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

/* Label and value rows: a quiet label in a narrow column, the value in front */
td:first-child:nth-last-child(2) { width: 16em !important; color: #5a6472; }
td:first-child:nth-last-child(2) + td { width: auto !important; color: #1f2328; }

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

/* Error rows: label, description, number and source, in red; the label lines up with the
   labels of the rows around it, the description takes the room, and the number and the
   source say what they are */
td:first-child:nth-last-child(4),
td:first-child:nth-last-child(4) ~ td {
  color: #6a040f;
  background: #fdecea;
  border-top: 1px solid #f5c2c0;
  border-bottom: 1px solid #f5c2c0;
}
td:first-child:nth-last-child(4) {
  width: 16em !important;
  color: #a4161a;
  font-weight: 600;
  box-shadow: inset 4px 0 0 #d62828;
}
td:nth-child(2):nth-last-child(3) { width: auto !important; }
td:nth-child(3):nth-last-child(2) { width: 9.5em !important; white-space: nowrap; }
td:nth-child(4):nth-last-child(1) { width: 20em !important; }
td:nth-child(3):nth-last-child(2)::before { content: "Error "; color: #a4161a; }
td:nth-child(4):nth-last-child(1)::before { content: "Source "; color: #a4161a; }

/* Progress listings: seven small cells a row; the message gets the room, the figures line up
   on the right, and the label row right after "Macro Step progress found" is a heading row */
td:first-child:nth-last-child(7),
td:first-child:nth-last-child(7) ~ td {
  padding: 0.15em 0.5em;
  font-size: 0.85em;
  font-variant-numeric: tabular-nums;
  border-bottom: 1px solid #e3e7ec;
}
td:nth-child(1):nth-last-child(7) { width: 7em !important; color: #4a5568; }
td:nth-child(2):nth-last-child(6) { width: 10.5em !important; white-space: nowrap; }
td:nth-child(3):nth-last-child(5) { width: 6em !important; text-align: right; }
td:nth-child(4):nth-last-child(4) { width: auto !important; }
td:nth-child(5):nth-last-child(3) { width: 8.5em !important; }
td:nth-child(6):nth-last-child(2) { width: 7.5em !important; }
td:nth-child(7):nth-last-child(1) { width: 8.5em !important; }
td:nth-child(5):nth-last-child(3),
td:nth-child(6):nth-last-child(2),
td:nth-child(7):nth-last-child(1) { color: #5a6472; }
/* Labels and headings break between words only, never inside one: their columns are wide
   enough for every word they hold */
td:first-child:nth-last-child(2),
td:first-child:nth-last-child(4),
p + table td:first-child:nth-last-child(7),
p + table td:first-child:nth-last-child(7) ~ td {
  overflow-wrap: normal;
  word-wrap: normal;
  hyphens: manual;
}
p + table td:first-child:nth-last-child(7),
p + table td:first-child:nth-last-child(7) ~ td {
  color: #33415c;
  font-weight: 600;
  background: #eef2f7;
  border-bottom: 1px solid #c9d3df;
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
  /* A narrower page: shorter label columns, and in progress listings the date above the
     time, so that the message keeps room */
  td:first-child:nth-last-child(2), td:first-child:nth-last-child(4) { width: 13em !important; }
  td:nth-child(3):nth-last-child(2) { width: 8.5em !important; }
  td:nth-child(4):nth-last-child(1) { width: 14em !important; }
  td:nth-child(1):nth-last-child(7) { width: 6em !important; }
  td:nth-child(2):nth-last-child(6) { width: 6.5em !important; white-space: normal; }
  td:nth-child(3):nth-last-child(5) { width: 6em !important; }
  td:nth-child(5):nth-last-child(3),
  td:nth-child(6):nth-last-child(2),
  td:nth-child(7):nth-last-child(1) { width: 6.5em !important; }
  h3, td.itemcountingraph, td.paddingingraph,
  p + table td:first-child:nth-last-child(7), p + table td:first-child:nth-last-child(7) ~ td,
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
