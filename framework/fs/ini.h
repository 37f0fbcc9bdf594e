// App_Common INI files: one key of a profile file read or written through Windows' profile
// calls (boot.ini's timeout and system entries, the version detection's INI value). Both run
// with WOW64 file-system redirection off and hand long paths (260 characters and more) and
// paths with characters outside printable ASCII to Windows in their wide form. Traced under the
// module "App_Common"; nothing here throws.
#pragma once

#include <string>
#include <string_view>

namespace kes {

// The value of `key` in [`section`] of `file`, without surrounding blanks (and without one pair of
// matching quotes, which Windows removes); "" when the file, section or key is missing (logged
// as the profile call's error, demoted to verbose for "not found") or the value is empty. An
// empty `key` asks for the section's key names and an empty `section` for the file's section
// names; the answer is then the first name of the list.
std::u16string ReadINI(std::u16string_view file, std::u16string_view section,
                       std::u16string_view key);

// Writes `key`=`value` into [`section`] of `file`, creating file, section or key as needed and
// leaving the other lines alone. Empty texts are handed on as empty texts (an empty value
// writes "key="; nothing is deleted); an empty section or key name is logged. True when Windows
// reports success; false (logged as "WritePrivateProfileStringW") otherwise.
bool WriteINI(std::u16string_view file, std::u16string_view section, std::u16string_view key,
              std::u16string_view value);

}  // namespace kes
