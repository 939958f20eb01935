#include <dlfcn.h>

#include "shared_library.h"

namespace vellamoor {

SharedLibrary::~SharedLibrary() {
    if (module_ != nullptr) dlclose(module_);
}

std::string SharedLibrary::path() const { return path_; }

bool SharedLibrary::load(const std::string& path, std::string& error) {
    path_ = path;
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) error = "cannot load " + path + " (" + dlerror() + ")";
    return module_ != nullptr;
}

void* SharedLibrary::symbol(const std::string& name, std::string& error) const {
    void* address = dlsym(module_, name.c_str());
    if (address == nullptr) error = "export " + name + " not found";
    return address;
}

}  // namespace vellamoor
