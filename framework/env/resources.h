// The program's own embedded resources, written out as files.
#pragma once

#include <string_view>

namespace kes {

// Writes the raw bytes of the resource of type "CUSTOM" named sResourceName (any letter case) to
// sFile, creating its folder. True when sFile holds the resource's bytes afterwards, or when it
// already existed and bOverwrite is false (then it is left untouched). False, with the reason
// logged, when an existing file cannot be deleted, the folder cannot be created, or the resource
// cannot be loaded or written.
bool ExtractCustomResource(std::u16string_view sResourceName, std::u16string_view sFile,
                           bool bOverwrite);

}  // namespace kes
