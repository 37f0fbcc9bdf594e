// Module state of App_Debug: one per Context.
#pragma once

namespace kes::debug {

struct DebugState {};

}  // namespace kes::debug
