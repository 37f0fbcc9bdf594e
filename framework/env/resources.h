// The program's own embedded resources, written out as files.
#pragma once

#include <string_view>

namespace kes {

// Writes the raw bytes of the resource of type "CUSTOM" named `resource_name` (any letter case) to
// `target`, creating its folder. True when `target` holds the resource's bytes afterwards, or when
// it already existed and `overwrite` is false (then it is left untouched). False, with the reason
// logged, when an existing file cannot be deleted, the folder cannot be created, or the resource
// cannot be loaded or written.
bool ExtractCustomResource(std::u16string_view resource_name, std::u16string_view target,
                           bool overwrite);

}  // namespace kes
