// Owned handles: one move-only type per kind of handle, over one template. An owner closes its
// handle through the platform when it goes out of scope or is reset, and keeps the thread's last
// error across the close, so that a failure read after the owner went away is still the failure
// of the call that mattered. Nothing above the platform closes a handle by hand.
//
//   UniqueHandle      kernel handle (process, thread, file, mapping): CloseHandle, then
//                     ntdll's NtClose when CloseHandle refuses it
//   UniqueToken       access token (OpenProcessToken): closed as a kernel handle
//   UniqueSnapshot    tool-help snapshot (CreateToolhelp32Snapshot): closed as a kernel handle
//   UniqueHKey        registry key (RegOpenKeyExW, RegCreateKeyExW): RegCloseKey; a predefined
//                     root is never owned
//   UniqueFindHandle  file search (FindFirstFileW): FindClose
//   UniqueRedirection WOW64 file-system redirection switched off: the value handed back by
//                     Wow64DisableWow64FsRedirection, reverted with Wow64RevertWow64FsRedirection
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "platform/platform.h"

namespace kes::platform {

template <class Traits>
class UniqueAny {
 public:
  using Value = typename Traits::Value;

  UniqueAny() = default;
  explicit UniqueAny(Platform& os, Value value = Traits::Invalid()) : os_(&os), value_(value) {}
  ~UniqueAny() { reset(); }
  UniqueAny(UniqueAny&& other) noexcept : os_(other.os_), value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) {
      reset();
      os_ = other.os_;
      value_ = other.release();
    }
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Value get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }

  // Closes what is owned and hands out the slot for a call that returns a new handle.
  Value* put() {
    reset();
    return &value_;
  }
  // Gives up ownership without closing.
  Value release() { return std::exchange(value_, Traits::Invalid()); }
  // Closes what is owned (keeping the last error) and takes `value`.
  void reset(Value value = Traits::Invalid()) {
    const Value old = std::exchange(value_, value);
    if (!Traits::IsValid(old) || os_ == nullptr) return;
    const DWORD last_error = os_->sys.GetLastError();
    Traits::Close(*os_, old);
    os_->sys.SetLastError(last_error);
  }

 private:
  Platform* os_ = nullptr;
  Value value_ = Traits::Invalid();
};

namespace handle_traits {

// Both null and INVALID_HANDLE_VALUE mean "no handle": calls differ in which one they fail with.
struct Kernel {
  using Value = HANDLE;
  static constexpr Value Invalid() { return 0; }
  static constexpr bool IsValid(Value v) { return v != 0 && v != kInvalidHandle; }
  static void Close(Platform& os, Value v) {
    if (!os.sys.CloseHandle(v)) os.proc.NtClose(v);
  }
};
struct Token : Kernel {};
struct Snapshot : Kernel {};

struct Key {
  using Value = HKEY;
  static constexpr Value Invalid() { return 0; }
  static constexpr bool IsValid(Value v) {
    return v != 0 && !(v >= kHKEY_CLASSES_ROOT && v <= kHKEY_CURRENT_USER_LOCAL_SETTINGS);
  }
  static void Close(Platform& os, Value v) { os.reg.RegCloseKey(v); }
};

struct Find {
  using Value = HANDLE;
  static constexpr Value Invalid() { return kInvalidHandle; }
  static constexpr bool IsValid(Value v) { return v != 0 && v != kInvalidHandle; }
  static void Close(Platform& os, Value v) { os.fs.FindClose(v); }
};

// The token of switched-off redirection is opaque (it may be 0), so "nothing owned" is nullopt.
struct Redirection {
  using Value = std::optional<std::uintptr_t>;
  static Value Invalid() { return std::nullopt; }
  static bool IsValid(const Value& v) { return v.has_value(); }
  static void Close(Platform& os, const Value& v) { os.fs.Wow64RevertWow64FsRedirection(*v); }
};

}  // namespace handle_traits

using UniqueHandle = UniqueAny<handle_traits::Kernel>;
using UniqueToken = UniqueAny<handle_traits::Token>;
using UniqueSnapshot = UniqueAny<handle_traits::Snapshot>;
using UniqueHKey = UniqueAny<handle_traits::Key>;
using UniqueFindHandle = UniqueAny<handle_traits::Find>;
using UniqueRedirection = UniqueAny<handle_traits::Redirection>;

}  // namespace kes::platform
