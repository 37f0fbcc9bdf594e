#include "framework/registry/access.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/process/shell.h"
#include "framework/registry/permissions.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"
#include "platform/base/utf16le.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {
using debug::Kind;
using debug::Proc;
using platform::DWORD;
using platform::HKEY;
using platform::LONG;

constexpr std::u16string_view kModule = u"App_Registry";

// Registry calls answer with a status and leave the last error alone, so the status is handed
// over as the last error: the API-error entry then carries the real code and its message.
LONG LogStatus(const Proc& p, LONG status, std::u16string_view api, std::u16string_view vars = {}) {
  OS().sys.SetLastError(static_cast<DWORD>(status));
  p.LogAPI(api, vars);
  return status;
}

std::u16string WithoutTrailingBackslash(std::u16string_view s) {
  if (!s.empty() && s.back() == u'\\') s.remove_suffix(1);
  return std::u16string(s);
}

[[noreturn]] void Raise(std::int32_t number, std::u16string description) {
  throw debug::RuntimeErrorException{{number, std::move(description), std::u16string(kModule)}};
}

std::u16string NumberText(double d) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  if (ec != std::errc()) Raise(6, u"Overflow");
  return U16(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

// A tagged value as text, the way the classic string conversion does it: Null and values that
// have no text form are run-time errors (94, 13).
std::u16string ToText(const Value& v) {
  if (auto s = v.get_if<std::u16string>()) return *s;
  if (auto i = v.get_if<std::int16_t>()) return Dec(*i);
  if (auto i = v.get_if<std::int32_t>()) return Dec(*i);
  if (auto i = v.get_if<std::int64_t>()) return Dec(*i);
  if (auto b = v.get_if<std::uint8_t>()) return Dec(*b);
  if (auto b = v.get_if<bool>()) return *b ? u"True" : u"False";
  if (auto f = v.get_if<float>()) return NumberText(*f);
  if (auto d = v.get_if<double>()) return NumberText(*d);
  if (auto c = v.get_if<Currency>()) return NumberText(static_cast<double>(c->scaled) / 10000.0);
  if (v.is_empty()) return u"";
  if (v.is_null()) Raise(94, u"Invalid use of Null");
  Raise(13, u"Type mismatch");
}

std::int32_t RoundToLong(double d) {
  // Half-way cases go to the even neighbour, as the classic conversion rounds.
  const double r = std::nearbyint(d);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) Raise(6, u"Overflow");
  return static_cast<std::int32_t>(r);
}

// A tagged value as a 32-bit signed integer; a 32-bit value is taken unchanged. An unsigned
// DWORD above 0x7FFFFFFF (carried as 64-bit) keeps its bits.
std::int32_t ToLong(const Value& v) {
  if (auto i = v.get_if<std::int32_t>()) return *i;
  if (auto i = v.get_if<std::int16_t>()) return *i;
  if (auto b = v.get_if<std::uint8_t>()) return *b;
  if (auto b = v.get_if<bool>()) return *b ? -1 : 0;
  if (auto i = v.get_if<std::int64_t>()) {
    if (*i < std::numeric_limits<std::int32_t>::min() || *i > 0xFFFFFFFFll) Raise(6, u"Overflow");
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*i));
  }
  if (auto f = v.get_if<float>()) return RoundToLong(*f);
  if (auto d = v.get_if<double>()) return RoundToLong(*d);
  if (auto c = v.get_if<Currency>()) return RoundToLong(static_cast<double>(c->scaled) / 10000.0);
  if (auto d = v.get_if<Date>()) return RoundToLong(d->serial);
  if (v.is_empty()) return 0;
  if (v.is_null()) Raise(94, u"Invalid use of Null");
  if (auto s = v.get_if<std::u16string>()) {
    const std::string text = Utf8(Trim(*s));
    if (text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
      std::uint32_t n = 0;
      auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), n, 16);
      if (ec == std::errc() && end == text.data() + text.size()) {
        return static_cast<std::int32_t>(n);
      }
      Raise(13, u"Type mismatch");
    }
    char* end = nullptr;
    const double d = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size()) Raise(13, u"Type mismatch");
    return RoundToLong(d);
  }
  Raise(13, u"Type mismatch");
}

// The two-step text read: size first, then the data into a buffer of that many characters
// (twice the room needed). Returns the characters read, or nullopt after logging.
std::optional<std::u16string> QueryText(const Proc& p, HKEY key, const std::u16string& name,
                                        std::u16string_view what) {
  DWORD type = 0;
  DWORD size = 0;
  LONG status = OS().reg.RegQueryValueExW(key, name.c_str(), &type, nullptr, &size);
  if (status != 0 && status != static_cast<LONG>(platform::kERROR_MORE_DATA)) {
    LogStatus(p, status, u"RegQueryValueExW " + std::u16string(what) + u" (Length)");
    return std::nullopt;
  }
  std::u16string buffer(size, u'\0');
  status = OS().reg.RegQueryValueExW(key, name.c_str(), &type, buffer.data(), &size);
  if (status != 0) {
    if (what == u"REG_SZ") {
      p.Log(u"RegQueryValueExW REG_SZ (Data) msg=" + GetRegAPIReturnMsg(status),
            debug::Event_Normal);
    } else {
      LogStatus(p, status, u"RegQueryValueExW " + std::u16string(what) + u" (Data)");
    }
    return std::nullopt;
  }
  buffer.resize(size / 2);
  return buffer;
}

}  // namespace

std::u16string GetHKEYName(HKEY root, bool short_name) {
  struct Name {
    HKEY root;
    const char16_t* short_name;
    const char16_t* long_name;
  };
  static constexpr Name kNames[] = {
      {platform::kHKEY_CLASSES_ROOT, u"hkcr", u"hkey_classes_root"},
      {platform::kHKEY_CURRENT_USER, u"hkcu", u"hkey_current_user"},
      {platform::kHKEY_LOCAL_MACHINE, u"hklm", u"hkey_local_machine"},
      {platform::kHKEY_USERS, u"hku", u"hkey_users"},
      {platform::kHKEY_PERFORMANCE_DATA, u"hkpd", u"hkey_performance_data"},
      {platform::kHKEY_CURRENT_CONFIG, u"hkcc", u"hkey_current_config"},
      {platform::kHKEY_DYN_DATA, u"hkdd", u"hkey_dyn_data"},
  };
  for (const auto& n : kNames) {
    if (n.root == root) return short_name ? n.short_name : n.long_name;
  }
  return u"";
}

std::u16string GetRegAPIReturnMsg(std::int32_t status) {
  switch (status) {
    case 0:
      return u"API Success!";
    case 1:
      return u"Incorrect function.";
    case 2:
      return u"该系统找不到指定的文件. (key)";
    case 3:
      return u"该系统找不到指定的路径.";
    case 4:
      return u"该系统无法打开文件. (ERROR_TOO_MANY_OPEN_FILES)";
    case 5:
      return u"访问被拒绝.";
    case 6:
      return u"句柄无效.";
    case 7:
      return u"存储控制块被破坏.";
    case 8:
      return u"没有足够的存储空间来处理此命令.";
    case 14:
      return u"没有足够的存储空间来完成此操作.";
    case 87:
      return u"参数不正确.";
    case 234:
      return u"有更多数据可用.";
    case 259:
      return u"没有更多数据可用.";
    case 1009:
      return u"配置注册表数据库已损坏.";
    case 1010:
      return u"配置注册表项无效.";
    case 1011:
      return u"无法打开配置注册表项.";
    case 1012:
      return u"无法读取配置注册表项.";
    case 1013:
      return u"无法写入配置注册表项.";
    default:
      return u"未知的返回值.";
  }
}

bool AddRegFlagWOW64(HKEY root, std::u16string& reg_key, std::int32_t& desired_sam,
                     bool& removed_wow6432_node, bool is_guest_session) {
  Proc p(kModule, u"AddRegFlagWOW64", Kind::Function);
  p.Args({u"RootHKEY", GetHKEYName(root, true), u"sRegKey", reg_key, u"lDesiredSAM", desired_sam,
          u"bIsGuestSession", is_guest_session});
  bool result = false;
  p.Step([&] {
    if (reg_key.empty()) {
      p.Log(u"Aborting; Passed empty string!", debug::Event_Normal);
      return;
    }
    removed_wow6432_node = false;
    // Before the environment object exists the machine is taken to be 64-bit: asking for the
    // native view on 32-bit Windows does no harm, missing it on 64-bit Windows would.
    if (Ctx().env && !Ctx().env->Win64bit) return;

    bool redirected_branch = false;
    switch (root) {
      case platform::kHKEY_LOCAL_MACHINE:
        redirected_branch = FindNoCase(reg_key, u"SOFTWARE\\") != std::u16string::npos;
        break;
      case platform::kHKEY_CURRENT_USER:
      case platform::kHKEY_USERS:
      case platform::kHKEY_CURRENT_USER_LOCAL_SETTINGS:
        redirected_branch = FindNoCase(reg_key, u"SOFTWARE\\Classes\\") != std::u16string::npos;
        break;
      default:
        break;
    }
    if (!redirected_branch) return;

    if (FindNoCase(reg_key, u"WOW6432Node") != std::u16string::npos) {
      // A hive loaded from another installation keeps its WOW6432Node: there it is a real key.
      if (FindNoCase(reg_key, u"guest_") != std::u16string::npos) return;
      reg_key = ReplaceAll(reg_key, u"WOW6432Node\\", u"", true);
      removed_wow6432_node = true;
      p.Log(u"Removed 'WOW6432Node\\' from non-offline/guest registry key string...",
            debug::Event_Verbose,
            debug::VarsToText({u"RootHKEY", GetHKEYName(root, true), u"sRegKey", reg_key,
                               u"bIsGuestSession", is_guest_session}));
      return;
    }
    desired_sam |= static_cast<std::int32_t>(platform::kKEY_WOW64_64KEY);
    result = true;
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sRegKey", reg_key, u"lDesiredSAM", desired_sam,
                                    u"bRemovedWOW6432Node", removed_wow6432_node});
  p.Result(result);
  return result;
}

bool RegKeyExist(HKEY root, std::u16string_view reg_key, bool open_link) {
  Proc p(kModule, u"RegKeyExist", Kind::Function);
  p.Args({u"RootHKEY", GetHKEYName(root, true), u"sRegKey", reg_key, u"bOpenLink", open_link});
  bool result = false;
  p.Step([&] {
    std::u16string key(reg_key);
    std::int32_t sam = static_cast<std::int32_t>(platform::kKEY_QUERY_VALUE);
    bool removed = false;
    AddRegFlagWOW64(root, key, sam, removed);
    platform::UniqueHKey h(OS());
    const LONG status = OS().reg.RegOpenKeyExW(
        root, key.c_str(),
        open_link ? static_cast<DWORD>(platform::kREG_OPTION_OPEN_LINK) : DWORD{0},
        static_cast<DWORD>(sam), h.put());
    if (status == 0) {
      result = true;
      return;
    }
    LogStatus(p, status, u"RegOpenKeyExW");
    const std::u16string api_text = GetRegAPIReturnMsg(status);
    p.Log(status == 2 || status == 3 ? u"Registry key does not exist!"
                                     : u"WARNING:  Registry key may or may not exist!",
          debug::Event_Verbose,
          debug::VarsToText({u"sRegKey", key, u"lReturn", status, u"sAPIRet", api_text}));
  });
  p.Result(result);
  return result;
}

bool RegReadValue(HKEY root, std::u16string_view reg_key, std::u16string_view value_name,
                  std::int32_t type, const Value& default_value, Value& value_read) {
  Proc p(kModule, u"RegReadValue", Kind::Function);
  p.Args({u"RootHKEY", GetHKEYName(root, true), u"sRegKey", reg_key});
  bool result = false;
  value_read = default_value;
  p.Step([&] {
    std::u16string key = WithoutTrailingBackslash(reg_key);
    std::int32_t sam = static_cast<std::int32_t>(platform::kKEY_QUERY_VALUE);
    bool removed = false;
    AddRegFlagWOW64(root, key, sam, removed);
    platform::UniqueHKey h(OS());
    const LONG opened =
        OS().reg.RegOpenKeyExW(root, key.c_str(), 0, static_cast<DWORD>(sam), h.put());
    if (opened != 0) {
      LogStatus(p, opened, u"RegOpenKeyExW");
      return;
    }
    const std::u16string name(value_name);
    switch (type) {
      case platform::kREG_SZ:
      case platform::kREG_EXPAND_SZ: {
        auto text = QueryText(p, h.get(), name, u"REG_SZ");
        if (!text) return;
        // Writers do not always store the terminating NUL, and some pad with blanks.
        value_read = TrimNull(*text, true);
        result = true;
        return;
      }
      case platform::kREG_MULTI_SZ: {
        auto text = QueryText(p, h.get(), name, u"REG_MULTI_SZ");
        if (!text) return;
        while (!text->empty() && text->back() == u'\0') text->pop_back();
        value_read = std::move(*text);
        result = true;
        return;
      }
      case platform::kREG_DWORD: {
        std::uint8_t data[4] = {};
        DWORD stored_type = 0;
        DWORD size = sizeof data;
        const LONG status =
            OS().reg.RegQueryValueExW(h.get(), name.c_str(), &stored_type, data, &size);
        if (status != 0) {
          LogStatus(p, status, u"RegQueryValueExW REG_DWORD");
          return;
        }
        // Another type, or fewer bytes, is no number of ours: its bytes would read as one.
        if (stored_type != platform::kREG_DWORD || size != sizeof data) {
          p.Log(u"The value is not a REG_DWORD of 4 bytes; the default is returned.",
                debug::Event_Normal,
                debug::VarsToText({u"sValueName", name, u"lType",
                                   static_cast<std::int32_t>(stored_type), u"lSize",
                                   static_cast<std::int32_t>(size)}));
          return;
        }
        value_read = static_cast<std::int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                               (static_cast<std::uint32_t>(data[3]) << 24));
        result = true;
        return;
      }
      default:
        p.Log(u"Value type not supported for reading; the default is returned.",
              debug::Event_Normal, debug::VarsToText({u"lType", type}));
        return;
    }
  });
  p.Vars(debug::Var_ReturnedByRef, {u"vResult", value_read});
  p.Result(result);
  return result;
}

bool RegWriteValue(HKEY root, std::u16string_view reg_key, std::u16string_view value_name,
                   std::int32_t type, const Value& reg_data) {
  Proc p(kModule, u"RegWriteValue", Kind::Function);
  p.Args({u"RootHKEY", GetHKEYName(root, true), u"sRegKey", reg_key, u"sValueName", value_name,
          u"lType", type, u"vRegData", reg_data});
  bool result = false;
  p.Step([&] {
    // The data is made ready before the key is touched, so refused or unconvertible data leaves
    // the registry as it was.
    std::vector<std::uint8_t> data;
    switch (type) {
      case platform::kREG_SZ:
      case platform::kREG_EXPAND_SZ:
        // Stored with its terminating NUL, as Windows' own readers expect of a text value.
        data = Utf16LeBytes(ToText(reg_data) + u'\0');
        break;
      case platform::kREG_DWORD: {
        const auto v = static_cast<std::uint32_t>(ToLong(reg_data));
        data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        break;
      }
      case platform::kREG_MULTI_SZ: {
        const std::u16string entry = ToText(reg_data);
        Value current;
        std::u16string list;
        if (RegReadValue(root, reg_key, value_name, platform::kREG_MULTI_SZ, u"", current)) {
          const std::u16string* text = current.get_if<std::u16string>();
          std::size_t start = 0;
          while (text && start <= text->size()) {
            std::size_t end = text->find(u'\0', start);
            if (end == std::u16string::npos) end = text->size();
            if (end > start) {
              if (!list.empty()) list += u'\0';
              list.append(*text, start, end - start);
            }
            start = end + 1;
          }
        }
        // An empty entry ends a list, so the new one only gets a separator behind real ones.
        if (!list.empty()) list += u'\0';
        list += entry;
        list += u'\0';
        list += u'\0';
        data = Utf16LeBytes(list);
        break;
      }
      case platform::kREG_BINARY:
        p.Log(u"REG_BINARY not supported in this function.", debug::Event_Normal);
        return;
      default:
        p.Log(u"Value type not supported for writing; nothing was stored.", debug::Event_Normal,
              debug::VarsToText({u"lType", type}));
        return;
    }

    std::u16string key = WithoutTrailingBackslash(reg_key);
    std::int32_t sam =
        static_cast<std::int32_t>(platform::kKEY_SET_VALUE | platform::kKEY_CREATE_SUB_KEY);
    bool removed = false;
    AddRegFlagWOW64(root, key, sam, removed);
    platform::UniqueHKey h(OS());
    DWORD disposition = 0;
    const LONG created =
        OS().reg.RegCreateKeyExW(root, key.c_str(), u"", platform::kREG_OPTION_NON_VOLATILE,
                                 static_cast<DWORD>(sam), h.put(), &disposition);
    if (created != 0) {
      LogStatus(p, created, u"RegCreateKeyExW");
      return;
    }
    const std::u16string name(value_name);
    const auto data_len = static_cast<std::int32_t>(data.size());
    const LONG status = OS().reg.RegSetValueExW(h.get(), name.c_str(), static_cast<DWORD>(type),
                                                data.data(), static_cast<DWORD>(data.size()));
    if (status != 0) {
      LogStatus(p, status, u"RegSetValueExW",
                debug::VarsToText({u"vRegData", reg_data, u"lDataLen", data_len}));
      return;
    }
    result = true;
  });
  p.Result(result);
  return result;
}

bool RegDeleteValue(HKEY root, std::u16string_view reg_key, std::u16string_view value_name,
                    bool& value_not_found, std::int32_t& api_status) {
  Proc p(kModule, u"RegDeleteValue", Kind::Function);
  p.Args({u"RootHKEY", GetHKEYName(root, true), u"sRegKey", reg_key, u"sValueName", value_name});
  bool result = false;
  value_not_found = false;
  api_status = 0;
  p.Step([&] {
    std::u16string key = WithoutTrailingBackslash(reg_key);
    std::int32_t sam = static_cast<std::int32_t>(platform::kKEY_SET_VALUE);
    bool removed = false;
    AddRegFlagWOW64(root, key, sam, removed);
    const std::u16string name(value_name);
    bool take_control_retry = false;
    while (true) {
      platform::UniqueHKey h(OS());
      const LONG opened =
          OS().reg.RegOpenKeyExW(root, key.c_str(), 0, static_cast<DWORD>(sam), h.put());
      // A key whose DACL refuses changes already refuses to be opened for them.
      const LONG status = opened != 0 ? opened : OS().reg.RegDeleteValueW(h.get(), name.c_str());
      if (opened != 0 &&
          (opened != static_cast<LONG>(platform::kERROR_ACCESS_DENIED) || take_control_retry)) {
        api_status = LogStatus(p, opened, u"RegOpenKeyExW");
        return;
      }
      if (status == 0) {
        p.Log(take_control_retry
                  ? u"Delete registry value success!  (after fail/take control/retry!)"
                  : u"Delete registry value success!",
              debug::Event_Verbose,
              debug::VarsToText({u"sRegKey", key, u"sValueName", name, u"bTakeControlRetry",
                                 take_control_retry}));
        result = true;
        return;
      }
      if (status == static_cast<LONG>(platform::kERROR_FILE_NOT_FOUND)) {
        if (!take_control_retry) value_not_found = true;
        p.Log(take_control_retry ? u"Registry value not found!  (after fail/take control/retry!)"
                                 : u"Registry value not found!",
              debug::Event_Verbose, debug::VarsToText({u"sRegKey", key, u"sValueName", name}));
        result = true;
        return;
      }
      LogStatus(p, status, opened != 0 ? u"RegOpenKeyExW" : u"RegDeleteValueW",
                debug::VarsToText({u"lRet", status, u"sRegKey", key, u"sValueName", name,
                                   u"bTakeControlRetry", take_control_retry}));
      h.reset();
      if (take_control_retry) {
        api_status = status;
        return;
      }
      take_control_retry = true;
      p.Log(u"Attempting to obtain ownership/permissions over the registry key...",
            debug::Event_Normal);
      std::u16string owner;
      std::u16string perm;
      TakeControlReg(root, key, owner, perm);
      GetRegKeyPermissions(root, key);
    }
  });
  p.Vars(debug::Var_ReturnedByRef, {u"bValueNotFound", value_not_found, u"lRetAPI", api_status});
  p.Result(result);
  return result;
}

bool RegDeleteValue(HKEY root, std::u16string_view reg_key, std::u16string_view value_name) {
  bool not_found = false;
  std::int32_t status = 0;
  return RegDeleteValue(root, reg_key, value_name, not_found, status);
}

bool RegImport(std::u16string_view file, bool wait_for_exit) {
  Proc p(kModule, u"RegImport", Kind::Function);
  p.Args({u"sFile", file, u"bWait", wait_for_exit});
  bool result = false;
  p.Step([&] {
    const std::u16string args = u"import \"" + std::u16string(file) + u"\"";
    std::int32_t exit_code = -1;
    const bool ran =
        ShellX(SystemToolPath(u"reg.exe"), args, wait_for_exit, kShellHide, exit_code, false, 0);
    result = ran && (!wait_for_exit || exit_code == 0);
    if (ran && wait_for_exit && exit_code != 0) {
      p.Log(u"reg.exe could not import the file.", debug::Event_Normal,
            u"sFile=" + std::u16string(file) + u", lExitCode=" + Dec(exit_code));
    }
  });
  p.Result(result);
  return result;
}

}  // namespace kes
