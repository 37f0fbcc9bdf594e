// App_Common file versions and attribute data: a file's version resource as dotted text, the
// comparison of two dotted version texts, and a file's attribute record (attributes, times,
// size). Traced under "App_Common"; each file call runs with WOW64 redirection off on the
// wide-API form of the path. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace kes {

// The file version of `file`'s version resource: "major.minor.build.revision", or with
// `impose_vb_limit_if_possible` and a build number of 0 the short form "major.minor.revision".
// "" when the file has no version resource (or it cannot be read; logged as an API error of the
// failing call).
std::u16string GetFileVersion(std::u16string_view file, bool impose_vb_limit_if_possible = false);

// Which of two version texts is newer.
enum VersionCompareResult : std::int32_t {
  VersionCompare_Equal = 0,  // equal, or not comparable (a text without ".", a part not a number)
  VersionCompare_FirstNewer = 1,
  VersionCompare_SecondNewer = 2,
};
// Compares "1.2.3.4"-style texts number by number from the left (numerically: 10.0 is newer
// than 9.9). The text with fewer parts is padded with ".0" parts first (logged); with
// `insert_missing_vb_num_if_applicable` a three-part text is read as major.minor.revision and
// the zeros go in before its last part (1.2.3 against four parts is 1.2.0.3). Parts empty in
// either text are skipped.
VersionCompareResult FileVersionStringCompare(std::u16string_view ver_num1,
                                              std::u16string_view ver_num2,
                                              bool insert_missing_vb_num_if_applicable = false);

// True with `file_data` filled with the attribute record of the file `file`; false, `file_data`
// untouched, when there is no such file ("File does not exist!") or the record cannot be read
// (an API error).
bool GetFileWFAD(std::u16string_view file, platform::WIN32_FILE_ATTRIBUTE_DATA& file_data);

}  // namespace kes
