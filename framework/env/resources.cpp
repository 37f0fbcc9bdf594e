#include "framework/env/resources.h"

#include <cstdint>
#include <string>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kAborting = u"Aborting; ";

// Loads the resource and writes all its bytes to a newly created `file`; every failing call is
// logged. A partial file may stay behind on failure: the caller's existence check decides.
void WriteResourceFile(const Proc& p, const std::u16string& name, const std::u16string& file) {
  platform::Platform& os = OS();
  const platform::HANDLE info = os.sys.FindResourceW(0, name.c_str(), u"CUSTOM");
  if (!info) {
    p.LogAPI(u"FindResourceW", u"sResourceName=" + name);
    return;
  }
  const platform::HANDLE data = os.sys.LoadResource(0, info);
  if (!data) {
    p.LogAPI(u"LoadResource", u"sResourceName=" + name);
    return;
  }
  const platform::DWORD size = os.sys.SizeofResource(0, info);
  const void* bytes = os.sys.LockResource(data);
  if (!bytes || size == 0) {
    p.LogAPI(u"LockResource", u"sResourceName=" + name);
    return;
  }
  platform::UniqueHandle h(os);
  {
    FsRedirectionOff redirection_off;
    // Made new: a file that appeared since the caller's existence check is someone else's and is
    // never written through.
    h.reset(os.fs.CreateFileW(file.c_str(), platform::kGENERIC_WRITE, 0, platform::kCREATE_NEW,
                              platform::kFILE_ATTRIBUTE_NORMAL));
  }
  if (!h) {
    p.LogAPI(u"CreateFileW", u"sFile=" + file);
    return;
  }
  platform::DWORD written = 0;
  if (!os.fs.WriteFile(h.get(), bytes, size, &written) || written != size)
    p.LogAPI(u"WriteFile", u"sFile=" + file);
}

}  // namespace

bool ExtractCustomResource(std::u16string_view resource_name, std::u16string_view target,
                           bool overwrite) {
  Proc p(u"App_Common", u"ExtractCustomResource", Kind::Function);
  p.Args({u"sResourceName", resource_name, u"sFile", target, u"bOverwrite", overwrite});
  bool succeeded = false;
  p.Step([&] {
    const std::u16string name(resource_name);
    const std::u16string file(target);
    if (FileExist(file)) {
      if (!overwrite) {
        p.Log(u"File already exists (overwrite not specified.)", debug::Event_Verbose);
        succeeded = true;
        return;
      }
      if (!FileDelete(file)) {
        p.Log(std::u16string(kAborting) + u"Could not delete (overwrite) existing file!");
        return;
      }
    }
    const std::size_t slash = file.find_last_of(u'\\');
    const std::u16string dir = slash == std::u16string::npos ? u"" : file.substr(0, slash + 1);
    std::int32_t create_dir_fail_code = 0;
    if (!dir.empty() && !EnsureDirExists(dir, create_dir_fail_code)) {
      p.Log(std::u16string(kAborting) + u"Could not create path.", debug::Event_Normal,
            u"lCreateDirFailCode=" + Dec(create_dir_fail_code) + u", sDir=" + dir + u", sFile=" +
                file + u", bSuccess=False");
      return;
    }
    WriteResourceFile(p, name, file);
    if (!FileExist(file)) {
      p.Log(std::u16string(kAborting) + u"Unknown Error!");
      return;
    }
    succeeded = true;
  });
  p.Result(succeeded);
  return succeeded;
}

}  // namespace kes
