// Micro-benchmarks of the report's hot paths: variant conversions, one-row tables, headers with
// their contents entries, and serialising the document.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "automation/convert.h"
#include "automation/registry.h"
#include "companions/dom/dom_node.h"
#include "companions/registration.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"
#include "xhtml/xhtml_document.h"

namespace {

using namespace tarvex;
using automation::Variant;

void setup() {
  static bool done = [] {
    companions::register_companions();
    return true;
  }();
  (void)done;
}

void variant_to_text_double(benchmark::State& state) {
  Variant v(33.3333);
  for (auto _ : state) benchmark::DoNotOptimize(automation::to_text(v));
}
BENCHMARK(variant_to_text_double);

void variant_to_text_date(benchmark::State& state) {
  Variant v(automation::make_date_time(2026, 12, 5, 17, 30, 0));
  for (auto _ : state) benchmark::DoNotOptimize(automation::to_text(v));
}
BENCHMARK(variant_to_text_date);

void variant_to_boolean_text(benchmark::State& state) {
  Variant v("-1.5");
  for (auto _ : state) benchmark::DoNotOptimize(automation::to_boolean(v));
}
BENCHMARK(variant_to_boolean_text);

void progress_text(benchmark::State& state) {
  double x = 33.3333;
  for (auto _ : state) {
    benchmark::DoNotOptimize(automation::number_text(automation::round_half_even(x, 2)) + "%");
  }
}
BENCHMARK(progress_text);

void add_two_cell_table(benchmark::State& state) {
  setup();
  auto doc = xhtml::XHTMLDocument::create();
  Variant row(automation::Array::of({Variant("Edit State"), Variant("Ready")}));
  for (auto _ : state) doc->AddSingleRowTableToBody(row);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(add_two_cell_table);

void add_seven_cell_table(benchmark::State& state) {
  setup();
  auto doc = xhtml::XHTMLDocument::create();
  Variant row(automation::Array::of(
      {Variant("Information"), Variant(automation::make_date_time(2026, 12, 5, 17, 30, 0)),
       Variant("12.5%"), Variant("Copied 1200 rows to the staging table"), Variant("Loader"),
       Variant("basLoad"), Variant("CopyRows")}));
  for (auto _ : state) doc->AddSingleRowTableToBody(row);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(add_seven_cell_table);

void add_header_with_contents_entry(benchmark::State& state) {
  setup();
  auto doc = xhtml::XHTMLDocument::create();
  for (auto _ : state) doc->AddBodyHeader("Nightly load - Completed", 3);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(add_header_with_contents_entry);

void serialise_document(benchmark::State& state) {
  setup();
  auto doc = xhtml::XHTMLDocument::create();
  Variant row(automation::Array::of({Variant("Message"), Variant("Copied rows <ok> & done")}));
  for (int i = 0; i < state.range(0); ++i) doc->AddSingleRowTableToBody(row);
  const std::string path = "/tmp/tarvex_microbench_report.html";
  for (auto _ : state) doc->Save(path);
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(serialise_document)->Arg(1000)->Arg(100000);

// A progress listing's shape, built through the XML utility: one table of one row of seven
// cells per message, serialised into a string (Save streams the same markup into its file).
void document_text(benchmark::State& state) {
  setup();
  auto& xml = automation::shared<contracts::XmlUtility>();
  automation::ObjectRef dom =
      automation::create_new<contracts::ObjectFactory>()->CreateVersionedObject(
          std::string(contracts::kDomProgId));
  automation::ObjectRef body = xml.AppendRootElement(dom, "html", Variant());
  body = xml.AppendChildElement(body, "body", Variant());
  const char* texts[] = {
      "Information", "2026-12-05 17:30:00", "12.5%", "Copied rows <ok>", "Loader", "basLoad",
      "CopyRows"};
  for (int i = 0; i < state.range(0); ++i) {
    automation::ObjectRef table = xml.AppendChildElement(body, "table", Variant());
    automation::ObjectRef row = xml.AppendChildElement(table, "tr", Variant());
    for (const char* text : texts) {
      automation::ObjectRef cell = xml.AppendChildElement(row, "td", Variant());
      automation::put(cell, "Text", text);
      xml.SetElementAttribute(cell, "style", "width: 14.29%");
    }
  }
  const double rows = static_cast<double>(state.range(0));
  const auto& tree = dynamic_cast<companions::dom::DomNode&>(*dom).tree();
  state.counters["dom_bytes_per_row"] = static_cast<double>(tree.bytes_held()) / rows;
  std::size_t bytes = 0;
  for (auto _ : state) bytes = xml.DocumentText(dom).size();
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["markup_bytes_per_row"] = static_cast<double>(bytes) / rows;
}
BENCHMARK(document_text)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
