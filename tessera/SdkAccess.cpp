#include "SdkAccess.h"

#include <dlfcn.h>

namespace TESSERA {

SdkAccess::SdkAccess() : hModule(nullptr) {}

bool SdkAccess::Initialize(std::string DllName) {
    hModule = dlopen(DllName.c_str(), RTLD_LAZY);
    if (hModule == nullptr) {
        // The loader's error text is consumed so that it cannot be mistaken for a later
        // failure; a missing library simply leaves its family without devices.
        (void)dlerror();
    }
    return IsInitialized();
}

bool SdkAccess::IsInitialized() const {
    return hModule != nullptr;
}

void* SdkAccess::GetFunction(std::string FunctionName) const {
    if (hModule == nullptr || FunctionName.empty()) return nullptr;
    void* function = dlsym(hModule, FunctionName.c_str());
    if (function == nullptr) (void)dlerror();
    return function;
}

}  // namespace TESSERA
