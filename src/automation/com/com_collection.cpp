// The collection behind the type library's interface _Collection, and its enumerator as
// IEnumVARIANT.
#include <Tarvex_83.h>

#include "automation/collection.h"
#include "automation/com/com.h"
#include "automation/com/unknown.h"

namespace tarvex::automation::com {

namespace {

class EnumVariant final : public Unknown<IEnumVARIANT> {
 public:
  explicit EnumVariant(std::shared_ptr<Enumerator> enumerator)
      : enumerator_(std::move(enumerator)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* out, ULONG* fetched) override {
    if (!out || (wanted > 1 && !fetched)) return E_POINTER;
    ULONG given = 0;
    const HRESULT hr = boundary([&] {
      for (Variant item; given < wanted && enumerator_->next(item); ++given) {
        VariantInit(&out[given]);
        to_com(item, out[given]);
      }
    });
    if (FAILED(hr)) {
      while (given > 0) VariantClear(&out[--given]);
      return hr;
    }
    if (fetched) *fetched = given;
    return given == wanted ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    return enumerator_->skip(count) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    enumerator_->reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return boundary([&] { *out = make<EnumVariant>(enumerator_->clone()).detach(); });
  }

 private:
  std::shared_ptr<Enumerator> enumerator_;
};

class CollectionObject final : public Dual<_Collection>, public Wrapped {
 public:
  explicit CollectionObject(std::shared_ptr<Collection> collection)
      : Wrapped(collection), collection_(std::move(collection)) {}

  HRESULT STDMETHODCALLTYPE Item(VARIANT index, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return boundary([&] { to_com(collection_->item(from_com(index)), *out); });
  }
  // A missing optional argument comes as DISP_E_PARAMNOTFOUND, which reads as Empty.
  HRESULT STDMETHODCALLTYPE Add(VARIANT item, VARIANT key, VARIANT before, VARIANT after) override {
    return boundary([&] {
      collection_->add(from_com(item), from_com(key), from_com(before), from_com(after));
    });
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override {
    if (!out) return E_POINTER;
    *out = collection_->count();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Remove(VARIANT index) override {
    return boundary([&] { collection_->remove(from_com(index)); });
  }
  HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return boundary([&] { *out = make<EnumVariant>(collection_->enumerate()).detach(); });
  }

 private:
  void* other_interface(REFIID iid) override { return wrapped_interface(iid); }

  std::shared_ptr<Collection> collection_;
};

}  // namespace

com_ptr<IDispatch> collection_object(const std::shared_ptr<Collection>& collection) {
  return make<CollectionObject>(collection);
}

}  // namespace tarvex::automation::com
