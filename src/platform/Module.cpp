#include "platform/Module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Where the shipped modules lie relative to the file that holds this code: the program
// (linked with the static library) or the shared library. Set by the build from the install
// folders; the build folder keeps them in "modules" beside the program.
#ifndef VARNEX_MODULES_FROM_BIN
#define VARNEX_MODULES_FROM_BIN "../lib/varnex/modules"
#endif
#ifndef VARNEX_MODULES_FROM_LIB
#define VARNEX_MODULES_FROM_LIB "varnex/modules"
#endif

}  // namespace

// For the program itself the loader knows only the name it was started by (maybe a bare name
// found on PATH): the kernel's link to the running program is asked instead.
std::string OwnFolder() {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&OwnFolder), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0)
        return {};
    std::error_code ec;
    fs::path file;
    if (map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0')
        file = map->l_name;
    else
        file = fs::read_symlink("/proc/self/exe", ec);
    if (ec || file.empty()) return {};
    fs::path canonical = fs::weakly_canonical(file, ec);
    return (ec ? file : canonical).parent_path().string();
}

namespace {

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The folders searched after $VARNEX_MODULE_PATH, in order.
std::vector<std::string> ShippedFolders() {
    std::string own = OwnFolder();
    if (own.empty()) return {};
    std::vector<std::string> folders;
    for (const char* relative : {"modules", VARNEX_MODULES_FROM_BIN, VARNEX_MODULES_FROM_LIB, "."}) {
        std::string folder = (fs::path(own) / relative).lexically_normal().string();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    return folders;
}

}  // namespace

CModule::~CModule() { Unload(); }

CModule& CModule::operator=(CModule&& other) noexcept {
    if (this != &other) {
        Unload();
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

std::string CModule::FindModule(const std::string& name) {
    const std::string file = name + ".so";
    if (const char* env = std::getenv("VARNEX_MODULE_PATH")) {
        std::string paths = env;
        size_t start = 0;
        while (start <= paths.size()) {
            size_t colon = paths.find(':', start);
            std::string dir = paths.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!dir.empty() && IsFile(dir + "/" + file)) return dir + "/" + file;
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    for (const std::string& folder : ShippedFolders())
        if (IsFile(folder + "/" + file)) return folder + "/" + file;
    return {};
}

bool CModule::Load(const std::string& name) {
    Unload();
    std::string path = FindModule(name);
    if (path.empty()) return false;
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return m_handle != nullptr;
}

void CModule::Unload() {
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
}

void* CModule::GetProcAddress(const char* symbol) const { return m_handle ? dlsym(m_handle, symbol) : nullptr; }
