#pragma once
#include <string>

namespace TESSERA {

// Run-time loader of one device library. libtessera does not link the device libraries; each
// binding opens its library once through one of these and looks the exports up by name.
// Nothing is ever unloaded.
class SdkAccess {
  public:
    SdkAccess();

    // dlopen with lazy binding. A relative path with a slash ("./libstrix.so") names a file in
    // the process's current working directory. Failure is silent; returns IsInitialized().
    bool Initialize(std::string DllName);
    bool IsInitialized() const;
    // Null when no library is loaded, the name is empty or the library lacks it.
    void* GetFunction(std::string FunctionName) const;

    void* hModule;
};

}  // namespace TESSERA
