#include "framework/util/file_dates.h"

#include <limits>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/fs/files.h"
#include "framework/fs/path_forms.h"
#include "framework/util/date.h"
#include "framework/util/time_conversions.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;

constexpr std::u16string_view kModule = u"App_Time";

const platform::FILETIME* TimeOfType(const platform::WIN32_FILE_ATTRIBUTE_DATA& data,
                                     FileDateType type) {
  switch (type) {
    case FileDate_Created:
      return &data.ftCreationTime;
    case FileDate_Modified:
      return &data.ftLastWriteTime;
    case FileDate_Accessed:
      return &data.ftLastAccessTime;
  }
  return nullptr;
}

// True when the volume of the drive path `file` keeps local times (its file system is a FAT).
bool StoredAsLocalTime(std::u16string_view file) {
  if (file.size() < 2 || file[1] != u':') return false;
  return FindNoCase(GetFileSystemType_AsString(file.substr(0, 2)), u"FAT") != std::u16string::npos;
}

// The UTC time of a time a FAT volume reported: the bias Windows applied (the current one) is
// taken off again, which gives the stored wall-clock time, and that is read under the rules of
// its own date.
bool UtcOfLocalStoredTime(const Proc& p, const platform::FILETIME& reported,
                          platform::SYSTEMTIME& utc) {
  platform::FILETIME stored;
  if (!OS().sys.FileTimeToLocalFileTime(&reported, &stored)) {
    p.LogFailedCall(u"FileTimeToLocalFileTime");
    return false;
  }
  platform::SYSTEMTIME wall_clock;
  if (!OS().sys.FileTimeToSystemTime(&stored, &wall_clock)) {
    p.LogFailedCall(u"FileTimeToSystemTime");
    return false;
  }
  return SystemTimeLocal_To_SystemTimeUTC(wall_clock, utc);
}

}  // namespace

bool GetFileDate_FromWFAD(const platform::WIN32_FILE_ATTRIBUTE_DATA& data, Date& date_return,
                          std::u16string& string_return, FileDateType file_date_type,
                          bool return_as_utc, std::u16string_view file,
                          bool file_system_time_is_local_time) {
  Proc p(kModule, u"GetFileDate_FromWFAD", Kind::Function);
  p.Args({u"FileDateType", static_cast<std::int32_t>(file_date_type), u"bReturnAsUTC",
          return_as_utc, u"sFile", file, u"bFileSystemTimeIsLocalTime",
          file_system_time_is_local_time});
  bool ok = false;
  p.Step([&] {
    const platform::FILETIME* time = TimeOfType(data, file_date_type);
    if (!time) {
      p.Log(u"FileDateType must be 0 (created), 1 (modified) or 2 (accessed).");
      return;
    }
    const bool stored_local = file_system_time_is_local_time || StoredAsLocalTime(file);
    p.Created({u"bStoredAsLocalTime", stored_local});
    platform::SYSTEMTIME st;
    if (stored_local) {
      if (!UtcOfLocalStoredTime(p, *time, st)) return;
    } else if (!OS().sys.FileTimeToSystemTime(time, &st)) {
      return p.LogFailedCall(u"FileTimeToSystemTime");
    }
    bool converted = true;
    if (!return_as_utc) {
      platform::SYSTEMTIME local;
      converted = SystemTimeUTC_To_SystemTimeLocal(st, local);
      if (converted)
        st = local;
      else
        p.Log(u"Failure in SystemTimeUTC_To_SystemTimeLocal");
    }
    Date date;
    if (!SystemTimeToDate(st, date)) return;
    date_return = date;
    string_return = SystemTimeToDateString(st);
    ok = converted;
  });
  p.ReturnedByRef({u"dtReturn", date_return, u"sReturn", string_return});
  p.Result(ok);
  return ok;
}

Date GetFileDate_FromWFAD_AsDate(const platform::WIN32_FILE_ATTRIBUTE_DATA& data,
                                 FileDateType file_date_type, bool return_as_utc,
                                 std::u16string_view file, bool file_system_time_is_local_time) {
  Proc p(kModule, u"GetFileDate_FromWFAD_AsDate", Kind::Function);
  p.Args({u"FileDateType", static_cast<std::int32_t>(file_date_type), u"bReturnAsUTC",
          return_as_utc, u"sFile", file, u"bFileSystemTimeIsLocalTime",
          file_system_time_is_local_time});
  // Not a date until the call gives one.
  Date result{std::numeric_limits<double>::quiet_NaN()};
  p.Step([&] {
    std::u16string text;
    if (GetFileDate_FromWFAD(data, result, text, file_date_type, return_as_utc, file,
                             file_system_time_is_local_time))
      return;
    if (SplitDate(result))
      p.Log(
          u"Warning; file date returned from API is valid, but it appears there was a failure in "
          u"function returning the system time structure of the file!");
    else
      p.Log(u"Error; file date returned from API is not valid!");
  });
  if (!SplitDate(result)) result = Date{};
  p.Result(Value(result));
  return result;
}

bool GetFileDates_AsDate(std::u16string_view file, bool return_as_utc, Date& created_file_date,
                         Date& accessed_file_date, Date& modified_file_date) {
  Proc p(kModule, u"GetFileDates_AsDate", Kind::Function);
  p.Args({u"sFile", file, u"bReturnAsUTC", return_as_utc});
  bool ok = false;
  p.Step([&] {
    std::u16string file_w(file);
    PrepPathForUnicodeAPI(file_w);
    platform::WIN32_FILE_ATTRIBUTE_DATA data;
    platform::BOOL read = 0;
    {
      FsRedirectionOff redirection_off;
      read = OS().fs.GetFileAttributesExW(file_w.c_str(), &data);
    }
    if (!read) {
      p.LogAPI(u"GetFileAttributesExW", VarsToText({u"sFileW", file_w}));
      p.Log(u"Could not retrieve file attribute structure!", debug::Event_Normal,
            VarsToText({u"sFile", file}));
      return;
    }
    std::u16string text;
    ok = GetFileDate_FromWFAD(data, created_file_date, text, FileDate_Created, return_as_utc, file);
    ok = GetFileDate_FromWFAD(data, accessed_file_date, text, FileDate_Accessed, return_as_utc,
                              file) &&
         ok;
    ok = GetFileDate_FromWFAD(data, modified_file_date, text, FileDate_Modified, return_as_utc,
                              file) &&
         ok;
  });
  p.ReturnedByRef({u"dtCreated_FileDate", created_file_date, u"dtAccessed_FileDate",
                   accessed_file_date, u"dtModified_FileDate", modified_file_date});
  p.Result(ok);
  return ok;
}

}  // namespace kes
