// The interfaces of the companion components, as the system calls them. Implementations are
// registered at start-up (automation/registry.h): per-thread shared objects with
// register_shared<I>, classes created with new with register_new<I>, late-bound ones by ProgID.
//
// Every operation may raise an automation::Error; texts are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "automation/object.h"
#include "automation/variant.h"
#include "contracts/text_sink.h"

namespace tarvex::contracts {

using automation::ObjectRef;
using automation::Variant;

// Per-thread shared: the component's named text resources.
class ComponentResources {
 public:
  virtual ~ComponentResources() = default;
  // Called once per thread by Main, before any other use.
  virtual void Initialise(const ObjectRef& application, const std::string& project) = 0;
  // Keys: "Style Sheet" (the report's whole style sheet), "Report File Name" (the report's file
  // name, extension included). An unknown key raises an error that names it.
  virtual std::string GetResourceText(const std::string& key) = 0;
};

// Per-thread shared: diagnostic trace, version text and level names.
class TraceUtility {
 public:
  virtual ~TraceUtility() = default;
  // One trace line; `level` is passed by reference and left unchanged.
  virtual void TraceMessage(const std::string& message, std::int32_t& level,
                            const std::string& project, const std::string& class_name,
                            const std::string& procedure) = 0;
  // The version of the component that `application` describes, for display.
  virtual std::string VersionText(const ObjectRef& application) = 0;
  // The display name of a progress-message level number.
  virtual std::string LevelName(std::int32_t level) = 0;
};

// Per-thread shared: time stamps and durations.
class DateTimeUtility {
 public:
  virtual ~DateTimeUtility() = default;
  virtual std::string CurrentTimestampText() = 0;
  // The time from `start` to `end`, both in the text form that variant conversion gives
  // date-times. The result is only ever passed to DurationText.
  virtual Variant DurationBetween(const std::string& start, const std::string& end) = 0;
  virtual std::string DurationText(const Variant& duration) = 0;
};

// Per-thread shared: row counting and bounds. Rows are the second dimension of a
// two-dimensional array and the elements of a one-dimensional one.
class ArrayUtility {
 public:
  virtual ~ArrayUtility() = default;
  virtual std::int32_t RowCount(const Variant& array) = 0;
  virtual std::int32_t RowLowerBound(const Variant& array) = 0;
  virtual std::int32_t RowUpperBound(const Variant& array) = 0;
  virtual std::int32_t ElementCount(const Variant& array) = 0;
  // A one-dimensional array of the collection's items, in order.
  virtual Variant CollectionToArray(const ObjectRef& collection) = 0;
};

// Per-thread shared: folders, paths and safe file writing.
class FileSystemUtility {
 public:
  virtual ~FileSystemUtility() = default;
  // Afterwards the folder exists and can receive files.
  virtual void PrepareFolder(const std::string& folder) = 0;
  virtual std::string CombinePath(const std::string& folder, const std::string& name) = 0;
  virtual std::string FolderOfPath(const std::string& path) = 0;
  virtual std::string FileNameOfPath(const std::string& path) = 0;
  // Afterwards the file holds exactly `text`; a failed write leaves any earlier file intact.
  virtual Variant WriteTextFile(const std::string& text, const std::string& folder,
                                const std::string& file_name) = 0;
  // As WriteTextFile, with the text that `write` puts into the sink as it makes it. An error
  // that `write` raises fails the write and travels on.
  virtual Variant StreamTextFile(const std::function<void(TextSink&)>& write,
                                 const std::string& folder, const std::string& file_name) = 0;
};

// Per-thread shared: building and serialising the platform's XML document object. Nodes are
// objects of the document object model ("MSXML2.DOMDocument").
class XmlUtility {
 public:
  virtual ~XmlUtility() = default;
  // `name_space` is always the empty value: elements get no namespace of their own.
  virtual ObjectRef AppendRootElement(ObjectRef& document, const std::string& name,
                                      const Variant& name_space) = 0;
  virtual ObjectRef AppendChildElement(ObjectRef& parent, const std::string& name,
                                       const Variant& name_space) = 0;
  virtual ObjectRef SetElementAttribute(ObjectRef& element, const std::string& name,
                                        const std::string& value) = 0;
  // The markup of the whole document, beginning with the document element, no declaration.
  virtual std::string DocumentText(ObjectRef& document) = 0;
  // The same markup, into the sink a piece at a time.
  virtual void WriteDocumentText(ObjectRef& document, TextSink& sink) = 0;
};

// Per-thread shared: new GUIDs in registry form, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
class GuidGenerator {
 public:
  virtual ~GuidGenerator() = default;
  virtual std::string NewGuidText() = 0;
};

// Per-thread shared: connection objects and their descriptions.
class ConnectionInspector {
 public:
  virtual ~ConnectionInspector() = default;
  virtual ObjectRef ConnectionFromText(const std::string& text) = 0;
  // "Connection Properties:" and the properties, separated by empty lines (CR LF line ends).
  virtual std::string DescribeConnection(const ObjectRef& connection) = 0;
};

// Created with new, one per execution. Also handed to the macro database helper, by reference,
// as its first argument; so it is an object as well.
class ConnectionDocument : public automation::Object {
 public:
  virtual void LoadDocument(const std::string& text) = 0;
  virtual std::string LocationName() = 0;
  virtual std::string ApplicationContainerName() = 0;
  // flag true: the form shown in the report (passwords masked); false: the text as loaded.
  virtual std::string ConnectionString(bool flag) = 0;
};

// Created with new by the report run.
class RunEnvironment {
 public:
  virtual ~RunEnvironment() = default;
  virtual std::string AccountDomain() = 0;
  virtual std::string AccountName() = 0;
  virtual std::string MachineDomain() = 0;
  virtual std::string MachineName() = 0;
};

// Created with new by the report run, after the report is saved.
class MacroStepExporter {
 public:
  virtual ~MacroStepExporter() = default;
  // Exports the container's macro steps into `folder`; may report progress through `logger`.
  virtual void ExportMacroSteps(const ObjectRef& document, const std::string& folder,
                                const ObjectRef& logger) = 0;
};

// Created with new for each use.
class ObjectFactory {
 public:
  virtual ~ObjectFactory() = default;
  // Creates the class named by the ProgID template; every "%v" stands for the version tag.
  virtual ObjectRef CreateVersionedObject(const std::string& progid_template) = 0;
};

}  // namespace tarvex::contracts
