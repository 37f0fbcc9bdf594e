// App_Time: the creation, access and modification dates of files, as date values and texts,
// in UTC or local time. Traced under "App_Time"; nothing here throws.
//
// FAT volumes keep local wall-clock times, and Windows reports them as UTC converted with the
// bias in effect at the moment of the query: a file written in summer, read in winter, comes
// out an hour off. For such a volume the reported time is turned back into the stored
// wall-clock time (with that same current bias) and then into UTC under the rules of its own
// date, so the file keeps its wall-clock time whatever the season. NTFS times are UTC already.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/util/value.h"
#include "platform/types.h"

namespace kes {

// Which time of a file.
enum FileDateType : std::int32_t {
  FileDate_Created = 0,
  FileDate_Modified = 1,  // last write
  FileDate_Accessed = 2,
};

// The `file_date_type` time of the attribute record `data` of the file `file`: as a date in
// `date_return` and as year-first text with time in `string_return`, in UTC with
// `return_as_utc`, else in local time under the rules of its date. The FAT correction above is
// made when `file_system_time_is_local_time` says so, or when the volume of `file` (a drive
// path) has a FAT file system. True when every step succeeded. When only the local conversion
// fails (logged "Failure in SystemTimeUTC_To_SystemTimeLocal"), the outputs hold the UTC time
// and the result is false; any earlier failure leaves them untouched.
bool GetFileDate_FromWFAD(const platform::WIN32_FILE_ATTRIBUTE_DATA& data, Date& date_return,
                          std::u16string& string_return, FileDateType file_date_type,
                          bool return_as_utc, std::u16string_view file,
                          bool file_system_time_is_local_time = false);

// GetFileDate_FromWFAD's date alone. On failure it logs whether a date still came back (a
// warning: the UTC time) or not (an error, and the date of serial 0 is returned).
Date GetFileDate_FromWFAD_AsDate(const platform::WIN32_FILE_ATTRIBUTE_DATA& data,
                                 FileDateType file_date_type, bool return_as_utc,
                                 std::u16string_view file,
                                 bool file_system_time_is_local_time = false);

// The three dates of the file or folder `file`. False ("Could not retrieve file attribute
// structure!", dates untouched) when its attribute record cannot be read; otherwise each date
// as GetFileDate_FromWFAD gives it, and true when all three succeeded.
bool GetFileDates_AsDate(std::u16string_view file, bool return_as_utc, Date& created_file_date,
                         Date& accessed_file_date, Date& modified_file_date);

}  // namespace kes
