// Module state of App_Common: one per Context.
#pragma once

namespace kes {

struct CommonState {};

}  // namespace kes
