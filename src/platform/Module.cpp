#include "platform/Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return {};
    return std::filesystem::path(info.dli_fname).parent_path().string();
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
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
    std::string own = OwnFolder();
    if (!own.empty() && IsFile(own + "/" + file)) return own + "/" + file;
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
