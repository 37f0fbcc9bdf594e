// Scenario "env-search": the directory search over a folder tree made here, the version of the
// running exe, and the user lists of the environment object, against the real kernel32, version
// and WMI after the program's own start-up. Folders come in whatever order the file system
// lists them (Wine on Linux keeps no order), so the lists are compared sorted; only "a folder
// after its contents" is checked by position.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "framework/fs/dir_list.h"
#include "framework/fs/file_version.h"
#include "framework/fs/files.h"
#include "framework/fs/textfile.h"
#include "platform/base/u16.h"
#include "tests/e2e/scenarios.h"

namespace kes::win32::e2e {
namespace {

using Names = std::vector<std::u16string>;

Outcome Fail(const std::string& what) {
  return {false, what};
}

std::string Joined(const Names& names) {
  std::string out;
  for (const std::u16string& n : names) out += (out.empty() ? "" : " ") + Utf8(n);
  return out;
}

// The matches below `root` (relative), in the order found.
Names Found(const FsDirList& list, const std::u16string& root) {
  Names out;
  for (const std::u16string& path : list.MatchingFilesFullPath().Items())
    out.push_back(path.substr(root.size() + 1));
  return out;
}

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

Outcome DirList(const std::u16string& root) {
  for (const char16_t* file : {u"a.log", u"b.txt", u"c.dat", u"Thumbs.db", u"h.log", u"sub\\d.log",
                               u"sub\\deeper\\e.txt", u"Temp\\t.log"}) {
    const std::u16string path = root + u"\\" + file;
    if (!EnsureDirExists(path.substr(0, path.rfind(u'\\'))) || !FileWrite(path, u"x", 4, false))
      return Fail("could not make " + Utf8(path));
  }
  if (!SetAttrib(root + u"\\h.log", 0x2)) return Fail("could not hide h.log");

  struct Case {
    const char* what;
    std::function<void(FsDirList&)> set_up;
    Names sorted;
  };
  const Case cases[] = {
      {"levels -1",
       [](FsDirList&) {},
       {u"Temp\\t.log", u"Thumbs.db", u"a.log", u"b.txt", u"c.dat", u"h.log", u"sub\\d.log",
        u"sub\\deeper\\e.txt"}},
      {"level 0",
       [](FsDirList& l) { l.RecursionLevel = 0; },
       {u"Thumbs.db", u"a.log", u"b.txt", u"c.dat", u"h.log"}},
      {"level 1",
       [](FsDirList& l) { l.RecursionLevel = 1; },
       {u"Temp\\t.log", u"Thumbs.db", u"a.log", u"b.txt", u"c.dat", u"h.log", u"sub\\d.log"}},
      {"masks *.log;*.txt",
       [](FsDirList& l) {
         l.AddFileMask(u"*.log");
         l.AddFileMask(u"*.txt");
       },
       {u"Temp\\t.log", u"a.log", u"b.txt", u"h.log", u"sub\\d.log", u"sub\\deeper\\e.txt"}},
      {"exclusions and folders",
       [](FsDirList& l) {
         l.IncludeDirs = true;
         l.AddFileInStrExclusion(u"thumbs");
         l.AddRecursiveSubDirInStrExclusion(u"temp");
       },
       {u"Temp", u"a.log", u"b.txt", u"c.dat", u"h.log", u"sub", u"sub\\d.log", u"sub\\deeper",
        u"sub\\deeper\\e.txt"}},
      {"hidden only", [](FsDirList& l) { l.FileAttribs = 0x2; }, {u"h.log"}},
  };
  for (const Case& c : cases) {
    FsDirList list;
    list.AddSearchPath(root);
    c.set_up(list);
    list.StartSearch();
    const Names found = Found(list, root);
    if (Sorted(found) != c.sorted) return Fail(std::string(c.what) + ": found " + Joined(found));
    const auto at = [&](const char16_t* name) {
      return std::find(found.begin(), found.end(), name) - found.begin();
    };
    if (list.IncludeDirs && (at(u"sub") < at(u"sub\\deeper") || at(u"sub") < at(u"sub\\d.log") ||
                             at(u"sub\\deeper") < at(u"sub\\deeper\\e.txt")))
      return Fail("a folder came before its contents: " + Joined(found));
  }
  return {true, {}};
}

}  // namespace

Outcome EnvSearch() {
  InitApp(false, u"");
  if (!Ctx().env) return Fail("start-up made no environment");
  AppEnv& env = *Ctx().env;
  const std::u16string root = env.UserDirBS_CurrentUser_Temp + u"kes-dirlist";
  ShellDelete(root, kQuietDelete);
  Outcome o = DirList(root);
  ShellDelete(root, kQuietDelete);
  if (!o.passed) return o;

  const std::u16string version = GetFileVersion(env.AppEXE);
  if (version.empty() || version != env.AppVer_Full)
    return Fail("GetFileVersion gave '" + Utf8(version) + "', the resource says '" +
                Utf8(env.AppVer_Full) + "'");

  env.Refresh_UserList_by_DirName();
  const Names& profiles = *env.UserListArr_by_DirName();
  const Names& personal = *env.UserListArr_by_DirName_NoCommonDirs();
  const bool has_public = std::find(profiles.begin(), profiles.end(), u"Public") != profiles.end();
  const bool public_dropped =
      std::find(personal.begin(), personal.end(), u"Public") == personal.end();
  const bool own_listed = std::find_if(personal.begin(), personal.end(), [&](const auto& n) {
                            return EqualsNoCase(n, env.NameDir_CurrentUser);
                          }) != personal.end();
  if (!has_public || !public_dropped || !own_listed)
    return Fail("profile folders: all [" + Joined(profiles) + "], personal [" + Joined(personal) +
                "], own " + Utf8(env.NameDir_CurrentUser));

  // Wine's WMI lists no user accounts (Wine 8.0 answers the query with no instances), so the
  // list is empty there; the detail says which of the two ways it came out empty.
  std::vector<platform::WmiUserAccount> accounts;
  const platform::LONG hr = OS().sys.WmiQueryUserAccounts(&accounts);
  env.Refresh_UserList_WMI();
  const Names& wmi = *env.UserListArr_WMI();
  if (hr != 0 && !wmi.empty()) return Fail("the WMI query failed, yet the list has entries");
  if (wmi.size() > accounts.size()) return Fail("the WMI list has more names than WMI gave");
  std::string wmi_note;
  if (hr != 0)
    wmi_note = "WMI user list empty: the Win32_UserAccount query failed with HRESULT " +
               Utf8(Hex(static_cast<std::uint32_t>(hr), 8));
  else if (accounts.empty())
    wmi_note = "WMI user list empty: WMI listed no Win32_UserAccount instance";
  else
    wmi_note =
        "WMI user list [" + Joined(wmi) + "] of " + std::to_string(accounts.size()) + " accounts";
  return {true, "dir search 6 cases; exe version " + Utf8(version) + "; profiles [" +
                    Joined(profiles) + "], personal [" + Joined(personal) + "]; " + wmi_note};
}

}  // namespace kes::win32::e2e
