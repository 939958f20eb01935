#pragma once

#include <string>

namespace vellamoor {

// A loaded DLL or shared object, unloaded again on destruction. One
// implementation per platform, chosen by the build.
class SharedLibrary {
public:
    SharedLibrary() = default;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    // On failure `error` says why, in the platform's words.
    bool load(const std::string& path, std::string& error);
    // The exported symbol's address, or nullptr with `error` set.
    void* symbol(const std::string& name, std::string& error) const;
    // The file the system loaded, as it names it.
    std::string path() const;

private:
    void* module_ = nullptr;
    std::string path_;
};

}  // namespace vellamoor
