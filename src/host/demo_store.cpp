// The fixed content of the demonstration store. Times are local times of one night's runs;
// progress figures include fractions that the report rounds (12.5, 33.3333, 0.125).
#include "host/demo_store.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvex::host {

namespace {

using tools::MacroRow;
using tools::ParameterRow;
using tools::ProgressRow;
using tools::StepRow;
using tools::StoreWriter;
using tools::Text;

struct Message {
  const char* at;
  std::optional<std::int64_t> level;  // 1 Error, 2 Warning, 3 Information, 4 Detail
  double progress;
  const char* text;
  const char* component;
  const char* module;
  const char* procedure;
};

struct Step {
  StepRow row;
  std::vector<ParameterRow> parameters;  // step_guid is filled in
  std::vector<Message> progress;
};

void write(StoreWriter& writer, const MacroRow& macro, std::vector<Step> steps) {
  writer.insert_macro(macro);
  std::int64_t position = 0;
  for (Step& step : steps) {
    step.row.macro_guid = macro.guid;
    step.row.position = ++position;
    writer.insert_step(step.row);
    for (ParameterRow& parameter : step.parameters) {
      parameter.step_guid = step.row.guid;
      writer.insert_parameter(parameter);
    }
    std::int64_t seq = 0;
    for (const Message& m : step.progress) {
      writer.insert_progress(ProgressRow{step.row.guid, ++seq, m.at, m.text, m.progress, m.level,
                                         m.component, m.module, m.procedure});
    }
  }
}

StepRow step(const char* guid, const char* heading, const char* method, const char* edit_state,
             const char* run_state, Text started, Text ended, tools::AnyValue progress,
             Text note = {}) {
  StepRow row;
  row.guid = guid;
  row.heading = heading;
  row.method_name = method;
  row.edit_state = edit_state;
  row.run_state = run_state;
  row.started = std::move(started);
  row.ended = std::move(ended);
  row.progress = std::move(progress);
  row.validation_failure_note = std::move(note);
  return row;
}

void nightly_sales_load(StoreWriter& writer) {
  MacroRow macro{std::string(kDemoContainer),
                 "{A3F1C2D4-5B6E-4F70-8192-A3B4C5D6E7F8}",
                 "Nightly Sales Load",
                 "Ready",
                 "Completed",
                 "Extract orders from the ERP system",
                 "2025-03-14 01:00:00",
                 "2025-03-14 01:23:41",
                 {},
                 "macrorun --container Sales --macro \"Nightly Sales Load\" "
                 "--notify ops-sales@example.com"};
  write(
      writer, macro,
      {{step("{A3F1C2D4-0001-4A10-9C01-5E6F7A8B9C01}", "Extract orders from the ERP system",
             "sqlquery", "Ready", "Completed", "2025-03-14 01:00:00", "2025-03-14 01:06:12",
             std::int64_t{100}),
        {{"", "source", "erp-db01.orders"},
         {"", "query", "SELECT * FROM orders WHERE changed_at >= :last_run"}},
        {{"2025-03-14 01:00:00", 3, 0, "Connected to erp-db01 as svc_macro", "Loader_83", "basLoad",
          "OpenSource"},
         {"2025-03-14 01:01:32", 4, 12.5, "Read 1250 of 10000 changed orders", "Loader_83",
          "basLoad", "ImportRows"},
         {"2025-03-14 01:03:05", 4, 50, "Read 5000 of 10000 changed orders", "Loader_83", "basLoad",
          "ImportRows"},
         {"2025-03-14 01:04:40", 2, 75, "Order 100482 skipped: the customer number is missing",
          "Loader_83", "clsValidator", "ValidateRow"},
         {"2025-03-14 01:06:12", 3, 100, "Read 9999 orders in 372 seconds", "Loader_83", "basLoad",
          "CloseSource"}}},
       {step("{A3F1C2D4-0002-4A10-9C01-5E6F7A8B9C02}", "Convert amounts to the group currency",
             "transform", "Ready", "Completed", "2025-03-14 01:06:13", "2025-03-14 01:09:50",
             std::int64_t{100}),
        {{"", "currency", "EUR"}, {"", "rates", "ecb-daily"}},
        {{"2025-03-14 01:07:01", 4, 33.3333, "Converted the amounts in USD (1 of 3 currencies)",
          "Transformer_83", "clsBatch", "ConvertAmounts"},
         {"2025-03-14 01:08:24", 4, 66.6667, "Converted the amounts in GBP (2 of 3 currencies)",
          "Transformer_83", "clsBatch", "ConvertAmounts"},
         {"2025-03-14 01:09:50", 3, 100, "Converted the amounts in CHF (3 of 3 currencies)",
          "Transformer_83", "clsBatch", "CommitBatch"}}},
       {step("{A3F1C2D4-0003-4A10-9C01-5E6F7A8B9C03}", "Load the sales fact table", "sqlquery",
             "Ready", "Completed", "2025-03-14 01:09:51", "2025-03-14 01:21:07", std::int64_t{100}),
        {{"", "source", "stage.orders_eur"}, {"", "target", "dw.sales_facts"}},
        {{"2025-03-14 01:09:53", 4, 0.125, "Inserted 5 of 4000 rows into dw.sales_facts",
          "Loader_83", "basTransfer", "InsertRows"},
         {"2025-03-14 01:15:30", 4, 50, "Inserted 2000 of 4000 rows into dw.sales_facts",
          "Loader_83", "basTransfer", "InsertRows"},
         {"2025-03-14 01:20:12", 2, 90,
          "Index ix_sales_facts_date is 41% fragmented; a rebuild is scheduled for Sunday",
          "Checker_83", "clsIndex", "CheckIndexes"},
         {"2025-03-14 01:21:07", 3, 100, "Inserted 4000 rows, none rejected", "Loader_83",
          "basTransfer", "CommitBatch"}}},
       {step("{A3F1C2D4-0004-4A10-9C01-5E6F7A8B9C04}", "Write the macro report", "tarvex", "Ready",
             "Completed", "2025-03-14 01:21:08", "2025-03-14 01:23:41", std::int64_t{100}),
        {{"", "reportfolder", "\\\\fs01\\reports\\sales"}, {"", "reportmacrostepprogress", "True"}},
        {{"2025-03-14 01:23:02", 3, 80,
          "Saving report to '\\\\fs01\\reports\\sales\\MacroReport.html'", "Tarvex_83",
          "Implementation", "GenerateReport"},
         {"2025-03-14 01:23:41", 3, 90, "Exported macro steps", "Tarvex_83", "Implementation",
          "GenerateReport"}}}});
}

void month_end_close(StoreWriter& writer) {
  MacroRow macro{std::string(kDemoContainer),
                 "{B7E24A19-3C5D-4E6F-8071-92A3B4C5D6E7}",
                 "Month-End Close",
                 "Locked",
                 "Failed",
                 "Post the accruals",
                 "2025-03-01 22:00:00",
                 "2025-03-01 22:41:17",
                 "Step 3 failed: Timeout expired after 600 seconds while waiting for the lock on "
                 "table 'stage_invoices'.\nThe steps after it did not run; the ledger is "
                 "unchanged.",
                 "macrorun --container Sales --macro \"Month-End Close\" --period 2025-02"};
  write(writer, macro,
        {{step("{B7E24A19-0001-4B20-8D02-6F7A8B9C0D01}", "Close the sales period", "sqlquery",
               "Locked", "Completed", "2025-03-01 22:00:00", "2025-03-01 22:04:10",
               std::int64_t{100}),
          {{"", "period", "2025-02"}},
          {{"2025-03-01 22:00:02", 3, 0, "Closing period 2025-02 for 14 sales organisations",
            "Ledger_83", "basPeriod", "ClosePeriod"},
           {"2025-03-01 22:04:10", 3, 100, "Period 2025-02 closed", "Ledger_83", "basPeriod",
            "ClosePeriod"}}},
         {step("{B7E24A19-0002-4B20-8D02-6F7A8B9C0D02}", "Reconcile invoices with the ledger",
               "transform", "Locked", "Completed", "2025-03-01 22:04:11", "2025-03-01 22:31:16",
               std::int64_t{100}),
          {{"", "tolerance", "0.01"}},
          {{"2025-03-01 22:10:40", 4, 25, "Matched 8211 of 32844 invoices", "Ledger_83",
            "clsReconcile", "MatchInvoices"},
           {"2025-03-01 22:17:05", 4, 50, "Matched 16422 of 32844 invoices", "Ledger_83",
            "clsReconcile", "MatchInvoices"},
           {"2025-03-01 22:24:12", 2, 75, "Invoice 2025-004711 differs by 0.02 EUR; kept open",
            "Ledger_83", "clsReconcile", "CompareAmounts"},
           {"2025-03-01 22:31:16", 3, 100, "Matched 32843 of 32844 invoices, 1 left open",
            "Ledger_83", "clsReconcile", "MatchInvoices"}}},
         {step("{B7E24A19-0003-4B20-8D02-6F7A8B9C0D03}", "Post the accruals", "sqlquery", "Locked",
               "Failed", "2025-03-01 22:31:17", "2025-03-01 22:41:17", 40.0),
          {{"", "target", "ledger.accruals"}},
          {{"2025-03-01 22:31:17", 3, 0, "Waiting for the lock on table 'stage_invoices'",
            "Loader_83", "basTransfer", "OpenTarget"},
           {"2025-03-01 22:36:17", 2, 40, "Lock wait exceeds 300 seconds", "Loader_83",
            "basTransfer", "OpenTarget"},
           {"2025-03-01 22:41:17", 1, 40,
            "Timeout expired after 600 seconds while waiting for the lock on table "
            "'stage_invoices'",
            "Loader_83", "basTransfer", "OpenTarget"}}},
         {step("{B7E24A19-0004-4B20-8D02-6F7A8B9C0D04}", "Send the closing notice", "mailsend",
               "Locked", "Not Run", {}, {}, std::int64_t{0}),
          {{"", "to", "controlling@example.com"}, {"", "subject", "Month-end close 2025-02"}},
          {}}});
}

void customer_data_cleansing(StoreWriter& writer) {
  MacroRow macro{std::string(kDemoContainer),
                 "{C4D5E6F7-0819-4A2B-BC3D-4E5F60718293}",
                 "Customer Data Cleansing",
                 "Draft",
                 "Never Run",
                 "Match duplicate customers",
                 {},
                 {},
                 {},
                 ""};
  write(writer, macro,
        {{step("{C4D5E6F7-0001-4C30-9E03-7A8B9C0D1E01}", "Match duplicate customers", "transform",
               "Draft", "Not Run", {}, {}, std::int64_t{0}),
          {{"", "rule", "same name, postcode and date of birth"}},
          {}},
         {step("{C4D5E6F7-0002-4C30-9E03-7A8B9C0D1E02}", "Merge the matched records", "sqlquery",
               "Draft", "Not Run", {}, {}, std::int64_t{0},
               "Parameter 'target' names the table 'crm.customer_clean', which does not "
               "exist.\nCreate the table or correct the parameter before the macro is "
               "released."),
          {{"", "target", "crm.customer_clean"}},
          {}}});
}

void warehouse_export(StoreWriter& writer) {
  MacroRow macro{std::string(kDemoContainer),
                 "{D9E0F1A2-B3C4-4D5E-9F60-718293A4B5C6}",
                 "Warehouse Export",
                 "Ready",
                 "Running",
                 "Upload the export file",
                 "2025-03-14 02:15:00",
                 {},
                 {},
                 "macrorun --container Sales --macro \"Warehouse Export\""};
  write(writer, macro,
        {{step("{D9E0F1A2-0001-4D40-AF04-8B9C0D1E2F01}", "Export stock levels", "export", "Ready",
               "Completed", "2025-03-14 02:15:00", "2025-03-14 02:19:30", std::int64_t{100}),
          {{"", "file", "stock_20250314.csv"}},
          {{"2025-03-14 02:19:30", 3, 100, "Wrote 48213 stock levels to stock_20250314.csv",
            "Exporter_83", "basExport", "WriteFile"}}},
         {step("{D9E0F1A2-0002-4D40-AF04-8B9C0D1E2F02}", "Upload the export file", "filecopy",
               "Ready", "Running", "2025-03-14 02:19:31", {}, 62.5),
          {{"", "destination", "sftp://partner.example.com/inbound/"}},
          {{"2025-03-14 02:19:31", 3, 0, "Connected to partner.example.com", "Transfer_83",
            "clsSftp", "Connect"},
           {"2025-03-14 02:24:02", 4, 62.5, "Uploaded 250 MB of 400 MB", "Transfer_83", "clsSftp",
            "Upload"},
           // Written by a transfer component that records no level: the report shows this
           // step's error row here and leaves out the messages after it.
           {"2025-03-14 02:24:03",
            {},
            62.5,
            "Transfer rate 0.9 MB/s",
            "Transfer_83",
            "clsSftp",
            "Upload"},
           {"2025-03-14 02:26:40", 4, 81.25, "Uploaded 325 MB of 400 MB", "Transfer_83", "clsSftp",
            "Upload"}}}});
}

void quarterly_archive_sweep(StoreWriter& writer) {
  write(writer,
        MacroRow{std::string(kDemoContainer),
                 "{E1F2A3B4-C5D6-4E7F-8091-A2B3C4D5E6F7}",
                 "Quarterly Archive Sweep",
                 "Ready",
                 "Cancelled",
                 {},
                 "2025-01-05 03:00:00",
                 "2025-01-05 03:00:02",
                 "Cancelled by the operator before the first step.",
                 "macrorun --container Sales --macro \"Quarterly Archive Sweep\""},
        {});
}

void other_container(StoreWriter& writer) {
  write(
      writer,
      MacroRow{"Finance",
               "{F0A1B2C3-D4E5-4F60-8172-93A4B5C6D7E8}",
               "Payroll Export",
               "Ready",
               "Completed",
               {},
               "2025-03-13 23:00:00",
               "2025-03-13 23:02:10",
               {},
               "macrorun --container Finance --macro \"Payroll Export\""},
      {{step("{F0A1B2C3-0001-4E50-B005-9C0D1E2F3A01}", "Export the payroll journal", "export",
             "Ready", "Completed", "2025-03-13 23:00:00", "2025-03-13 23:02:10", std::int64_t{100}),
        {},
        {{"2025-03-13 23:02:10", 3, 100, "Exported 1204 journal lines", "Exporter_83", "basExport",
          "WriteFile"}}}});
}

}  // namespace

void fill_demo_store(StoreWriter& writer) {
  nightly_sales_load(writer);
  month_end_close(writer);
  customer_data_cleansing(writer);
  warehouse_export(writer);
  quarterly_archive_sweep(writer);
  other_container(writer);
}

}  // namespace tarvex::host
