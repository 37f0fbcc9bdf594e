// WMI through the scripting objects of the "winmgmts:" moniker, the way a script reads
// Win32_OperatingSystem or Win32_UserAccount: bind, list the instances, read properties of each.
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
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
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
  const VARIANT* get() const { return &v_; }

 private:
  VARIANT v_;
};

// One property of an instance, converted to `type` (VT_I4, VT_BOOL, VT_BSTR); a property
// without a value (VT_NULL) leaves `value` empty (VT_EMPTY) and is no failure.
HRESULT ReadProperty(IDispatch* instance, const wchar_t* name, VARTYPE type, Variant& value) {
  ComRef<ISWbemObject> object;
  HRESULT hr = instance->QueryInterface(IID_ISWbemObject, object.out_void());
  if (FAILED(hr)) return hr;
  ComRef<ISWbemPropertySet> properties;
  hr = object->get_Properties_(properties.out());
  if (FAILED(hr)) return hr;
  ComRef<ISWbemProperty> item;
  const Bstr property(name);
  hr = properties->Item(property.get(), 0, item.out());
  if (FAILED(hr)) return hr;
  hr = item->get_Value(value.get());
  if (FAILED(hr)) return hr;
  if (value.get()->vt == VT_NULL || value.get()->vt == VT_EMPTY) {
    ::VariantClear(value.get());
    return S_OK;
  }
  // WMI hands uint32 over as VT_I4 and booleans as VT_BOOL; the conversion covers the rest.
  return ::VariantChangeType(value.get(), value.get(), 0, type);
}

// Calls `each(instance)` for every instance of the set, in WMI's order; stops at the first
// failure and returns it.
template <class F>
HRESULT ForEachInstance(ISWbemObjectSet* instances, F each) {
  ComRef<IUnknown> enum_unknown;
  HRESULT hr = instances->get__NewEnum(enum_unknown.out());
  if (FAILED(hr)) return hr;
  ComRef<IEnumVARIANT> items;
  hr = enum_unknown->QueryInterface(IID_IEnumVARIANT, items.out_void());
  if (FAILED(hr)) return hr;
  for (;;) {
    Variant item;
    ULONG fetched = 0;
    hr = items->Next(1, item.get(), &fetched);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || fetched != 1) return S_OK;
    if (item.get()->vt != VT_DISPATCH || !item.get()->pdispVal) continue;
    hr = each(item.get()->pdispVal);
    if (FAILED(hr)) return hr;
  }
}

// Runs `query(services)` against the namespace of `moniker` with COM started on the calling
// thread for the call. The program's own thread is apartment-threaded; a thread where COM already
// runs in the other model (RPC_E_CHANGED_MODE) is used as it is, and a start of our own is
// balanced. A failure becomes the last error too.
template <class F>
platform::LONG WithServices(const wchar_t* moniker, F query) {
  HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool started = SUCCEEDED(hr);
  if (started || hr == RPC_E_CHANGED_MODE) {
    ComRef<ISWbemServices> services;
    hr = ::CoGetObject(moniker, nullptr, IID_ISWbemServices, services.out_void());
    if (SUCCEEDED(hr)) hr = query(services.get());
    services.reset();
    if (started) ::CoUninitialize();
  }
  if (FAILED(hr)) ::SetLastError(static_cast<DWORD>(hr));
  return SUCCEEDED(hr) ? 0 : static_cast<platform::LONG>(hr);
}

// A text property as read by ReadProperty; "" when it had no value.
std::u16string Text(const Variant& v) {
  const VARIANT& raw = *v.get();
  if (raw.vt != VT_BSTR || !raw.bstrVal) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(raw.bstrVal),
                        ::SysStringLen(raw.bstrVal));
}

}  // namespace

platform::LONG QueryOperatingSystemSKU(platform::DWORD* sku) {
  if (!sku) {
    ::SetLastError(static_cast<DWORD>(E_POINTER));
    return static_cast<platform::LONG>(E_POINTER);
  }
  return WithServices(L"winmgmts:", [&](ISWbemServices* services) {
    const Bstr cls(L"Win32_OperatingSystem");
    ComRef<ISWbemObjectSet> instances;
    HRESULT hr =
        services->InstancesOf(cls.get(), wbemFlagReturnImmediately, nullptr, instances.out());
    if (FAILED(hr)) return hr;
    DWORD last = 0;
    hr = ForEachInstance(instances.get(), [&](IDispatch* instance) {
      Variant value;
      const HRESULT read = ReadProperty(instance, L"OperatingSystemSKU", VT_I4, value);
      if (SUCCEEDED(read) && value.get()->vt == VT_I4) last = static_cast<DWORD>(value.get()->lVal);
      return read;
    });
    if (SUCCEEDED(hr)) *sku = last;
    return hr;
  });
}

platform::LONG QueryUserAccounts(std::vector<platform::WmiUserAccount>* accounts) {
  if (!accounts) {
    ::SetLastError(static_cast<DWORD>(E_POINTER));
    return static_cast<platform::LONG>(E_POINTER);
  }
  accounts->clear();
  std::vector<platform::WmiUserAccount> found;
  const platform::LONG result =
      WithServices(L"winmgmts:\\\\.\\root\\cimv2", [&](ISWbemServices* services) {
        const Bstr language(L"WQL");
        const Bstr query(L"Select * from Win32_UserAccount");
        ComRef<ISWbemObjectSet> instances;
        HRESULT hr = services->ExecQuery(query.get(), language.get(),
                                         wbemFlagReturnImmediately | wbemFlagForwardOnly, nullptr,
                                         instances.out());
        if (FAILED(hr)) return hr;
        return ForEachInstance(instances.get(), [&](IDispatch* instance) {
          platform::WmiUserAccount account;
          Variant name, sid_type, account_type, disabled, status;
          HRESULT read = ReadProperty(instance, L"Name", VT_BSTR, name);
          if (SUCCEEDED(read)) read = ReadProperty(instance, L"SIDType", VT_I4, sid_type);
          if (SUCCEEDED(read)) read = ReadProperty(instance, L"AccountType", VT_I4, account_type);
          if (SUCCEEDED(read)) read = ReadProperty(instance, L"Disabled", VT_BOOL, disabled);
          if (SUCCEEDED(read)) read = ReadProperty(instance, L"Status", VT_BSTR, status);
          if (FAILED(read)) return read;
          account.Name = Text(name);
          if (sid_type.get()->vt == VT_I4)
            account.SIDType = static_cast<DWORD>(sid_type.get()->lVal);
          if (account_type.get()->vt == VT_I4)
            account.AccountType = static_cast<DWORD>(account_type.get()->lVal);
          account.Disabled = disabled.get()->vt == VT_BOOL && disabled.get()->boolVal != 0;
          account.Status = Text(status);
          found.push_back(std::move(account));
          return S_OK;
        });
      });
  if (result == 0) *accounts = std::move(found);
  return result;
}

}  // namespace kes::win32
