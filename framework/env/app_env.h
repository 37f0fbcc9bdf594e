// App_Env: the environment object.
#pragma once

namespace kes {

class AppEnv {};

}  // namespace kes
