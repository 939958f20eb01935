#include <windows.h>

#include "shared_library.h"

namespace vellamoor {

SharedLibrary::~SharedLibrary() {
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

std::string SharedLibrary::path() const {
    char name[MAX_PATH];
    DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module_), name, MAX_PATH);
    return std::string(name, length);
}

bool SharedLibrary::load(const std::string& path, std::string& error) {
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr) error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return module_ != nullptr;
}

void* SharedLibrary::symbol(const std::string& name, std::string& error) const {
    void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name.c_str()));
    if (address == nullptr) error = "export " + name + " not found (error " + std::to_string(GetLastError()) + ")";
    return address;
}

}  // namespace vellamoor
