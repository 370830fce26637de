// Implementation behind _Implementation: the platform's dispatch over the type library calls
// these members with the arguments already checked and converted to what they declare.
#include <Tarvex_83.h>

#include "automation/collection.h"
#include "automation/com/com.h"
#include "automation/com/unknown.h"
#include "entry/windows/com_server.h"

namespace tarvex::entry::windows {

namespace {

namespace com = automation::com;
using automation::ObjectRef;

class ImplementationObject final : public com::Dual<_Implementation> {
 public:
  explicit ImplementationObject(std::shared_ptr<Implementation> plugin)
      : plugin_(std::move(plugin)) {}

  HRESULT STDMETHODCALLTYPE Execute(IDispatch* oMacroStepScript, IDispatch* oMacroLogger) override {
    return com::boundary([&] {
      plugin_->Execute(com::from_dispatch(oMacroStepScript), com::from_dispatch(oMacroLogger));
    });
  }
  HRESULT STDMETHODCALLTYPE ValidateContent(IDispatch* oMacroStepScript,
                                            _Collection** result) override {
    return validation(&Implementation::ValidateContent, oMacroStepScript, result);
  }
  HRESULT STDMETHODCALLTYPE ValidateStructure(IDispatch* oMacroStepScript,
                                              _Collection** result) override {
    return validation(&Implementation::ValidateStructure, oMacroStepScript, result);
  }

 private:
  HRESULT validation(ObjectRef (Implementation::*member)(ObjectRef), IDispatch* oMacroStepScript,
                     _Collection** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return com::boundary([&] {
      auto collection = automation::object_as<automation::Collection>(
          (plugin_.get()->*member)(com::from_dispatch(oMacroStepScript)));
      *result = com::collection_object(collection).query<_Collection>().detach();
    });
  }

  std::shared_ptr<Implementation> plugin_;
};

}  // namespace

com::com_ptr<IDispatch> implementation_object(std::shared_ptr<Implementation> plugin) {
  return com::make<ImplementationObject>(std::move(plugin));
}

}  // namespace tarvex::entry::windows
