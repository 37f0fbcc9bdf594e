// App_ClassSync: the clean-up interface of the framework's classes (App_Env, App_Proc,
// FS_DirList, Vel_String...). CleanUp clears the object's alive flag and drops what it holds, so
// an object still referenced somewhere after release holds nothing.
#pragma once

#include <memory>
#include <type_traits>

namespace kes {

class AppClassSync {
 public:
  virtual ~AppClassSync() = default;
  // Clears the alive flag and drops the object's contents; never fails.
  virtual void CleanUp() = 0;
};

// Lets go of an object: CleanUp when it implements AppClassSync, then the reference becomes
// null. A null reference is left alone.
template <class T>
void ReleaseObject(std::unique_ptr<T>& obj) {
  if (!obj) return;
  if constexpr (std::is_base_of_v<AppClassSync, T>) obj->CleanUp();
  obj.reset();
}

template <class T>
void ReleaseObject(std::shared_ptr<T>& obj) {
  if (!obj) return;
  if constexpr (std::is_base_of_v<AppClassSync, T>) obj->CleanUp();
  obj.reset();
}

}  // namespace kes
