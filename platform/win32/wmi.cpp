// WMI through the scripting objects of the "winmgmts:" moniker, the way a script reads
// Win32_OperatingSystem: bind, list the instances, read one property of each.
#include "platform/win32/wmi.h"

#include "platform/win32/windows_support.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemdisp.h>

namespace kes::win32 {
namespace {

// Releases a COM interface when it goes out of scope.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** out() { return &p_; }
  void** out_void() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const wchar_t* s) : b_(::SysAllocString(s)) {}
  ~Bstr() { ::SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  ~Variant() { ::VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &v_; }

 private:
  VARIANT v_;
};

// The property of one instance as a 32-bit number (WMI hands uint32 over as VT_I4).
HRESULT ReadSku(IDispatch* instance, const Bstr& property, DWORD* sku) {
  ComRef<ISWbemObject> object;
  HRESULT hr = instance->QueryInterface(IID_ISWbemObject, object.out_void());
  if (FAILED(hr)) return hr;
  ComRef<ISWbemPropertySet> properties;
  hr = object->get_Properties_(properties.out());
  if (FAILED(hr)) return hr;
  ComRef<ISWbemProperty> item;
  hr = properties->Item(property.get(), 0, item.out());
  if (FAILED(hr)) return hr;
  Variant value;
  hr = item->get_Value(value.get());
  if (FAILED(hr)) return hr;
  hr = ::VariantChangeType(value.get(), value.get(), 0, VT_I4);
  if (FAILED(hr)) return hr;
  *sku = static_cast<DWORD>(value.get()->lVal);
  return S_OK;
}

HRESULT Query(DWORD* sku) {
  ComRef<ISWbemServices> services;
  HRESULT hr = ::CoGetObject(L"winmgmts:", nullptr, IID_ISWbemServices, services.out_void());
  if (FAILED(hr)) return hr;
  const Bstr cls(L"Win32_OperatingSystem");
  ComRef<ISWbemObjectSet> instances;
  hr = services->InstancesOf(cls.get(), wbemFlagReturnImmediately, nullptr, instances.out());
  if (FAILED(hr)) return hr;
  ComRef<IUnknown> enum_unknown;
  hr = instances->get__NewEnum(enum_unknown.out());
  if (FAILED(hr)) return hr;
  ComRef<IEnumVARIANT> items;
  hr = enum_unknown->QueryInterface(IID_IEnumVARIANT, items.out_void());
  if (FAILED(hr)) return hr;
  const Bstr property(L"OperatingSystemSKU");
  DWORD last = 0;
  for (;;) {
    Variant item;
    ULONG fetched = 0;
    hr = items->Next(1, item.get(), &fetched);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || fetched != 1) break;
    if (item.get()->vt != VT_DISPATCH || !item.get()->pdispVal) continue;
    hr = ReadSku(item.get()->pdispVal, property, &last);
    if (FAILED(hr)) return hr;
  }
  *sku = last;
  return S_OK;
}

}  // namespace

platform::LONG QueryOperatingSystemSKU(platform::DWORD* sku) {
  HRESULT hr = E_POINTER;
  if (sku) {
    // The program's own thread is apartment-threaded. A thread where COM already runs in the
    // other model (RPC_E_CHANGED_MODE) is used as it is; a start of our own is balanced.
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(init) || init == RPC_E_CHANGED_MODE) {
      DWORD value = 0;
      hr = Query(&value);
      if (SUCCEEDED(hr)) *sku = value;
      if (SUCCEEDED(init)) ::CoUninitialize();
    } else {
      hr = init;
    }
  }
  if (FAILED(hr)) ::SetLastError(static_cast<DWORD>(hr));
  return SUCCEEDED(hr) ? 0 : static_cast<platform::LONG>(hr);
}

}  // namespace kes::win32
