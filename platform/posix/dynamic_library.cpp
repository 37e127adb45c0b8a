#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace spelvane::platform {
namespace {

std::string executableDirectory() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return {};
    path[length] = '\0';
    std::string directory(path);
    auto slash = directory.rfind('/');
    return slash == std::string::npos ? std::string() : directory.substr(0, slash);
}

bool endsWithDll(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (auto& c : tail) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return tail == ".dll";
}

}  // namespace

void lookUpDllDirectoryCall(bool) {}
LibraryFolder::LibraryFolder() = default;
LibraryFolder::~LibraryFolder() = default;

bool DynamicLibrary::open(const char* name) {
    close();
    refusal_.clear();
    if (!name || !*name) return false;
    std::string requested(name);
    if (!endsWithDll(requested) || requested.find('/') != std::string::npos) {
        module_ = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        return module_ != nullptr;
    }
    // "x.dll" -> "libx.so": beside the executable first, as Windows does.
    std::string soName = "lib" + requested.substr(0, requested.size() - 4) + ".so";
    std::string besideExecutable = executableDirectory() + "/" + soName;
    module_ = dlopen(besideExecutable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module_) module_ = dlopen(soName.c_str(), RTLD_NOW | RTLD_LOCAL);
    return module_ != nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
    return module_ ? dlsym(module_, name) : nullptr;
}

std::string DynamicLibrary::path() const {
    link_map* map = nullptr;
    if (!module_ || dlinfo(module_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    return map->l_name;
}

void DynamicLibrary::close() {
    if (module_) {
        dlclose(module_);
        module_ = nullptr;
    }
}

}  // namespace spelvane::platform
