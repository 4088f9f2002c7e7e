#include "logon/Pkcs11.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace logon::p11 {

namespace {

constexpr std::string_view kScheme = "pkcs11:";
constexpr CK_ULONG kMaxFound = 64;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool PercentDecode(std::string_view in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        int hi = i + 1 < in.size() ? HexValue(in[i + 1]) : -1;
        int lo = i + 2 < in.size() ? HexValue(in[i + 2]) : -1;
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// A fixed-width, blank-padded field of the standard's structures, trimmed.
std::string Padded(const unsigned char* field, size_t width) {
    size_t n = width;
    while (n > 0 && (field[n - 1] == ' ' || field[n - 1] == '\0')) --n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

bool IsUri(std::string_view text) { return text.substr(0, kScheme.size()) == kScheme; }

bool ParseUri(std::string_view text, Uri& out) {
    if (!IsUri(text)) return false;
    out = {};
    std::string_view path = text.substr(kScheme.size());
    path = path.substr(0, path.find('?'));
    while (!path.empty()) {
        size_t end = path.find(';');
        std::string_view part = path.substr(0, end);
        path = end == std::string_view::npos ? std::string_view{} : path.substr(end + 1);
        size_t eq = part.find('=');
        if (eq == std::string_view::npos) return false;
        std::string value;
        if (!PercentDecode(part.substr(eq + 1), value)) return false;
        std::string_view name = part.substr(0, eq);
        if (name == "token")
            out.token = value;
        else if (name == "object")
            out.object = value;
        else if (name == "id")
            out.id = value;
    }
    return true;
}

std::string ResultName(CK_RV rv) {
    switch (rv) {
#define NAME(code) \
    case code:     \
        return #code;
        NAME(CKR_OK)
        NAME(CKR_HOST_MEMORY)
        NAME(CKR_GENERAL_ERROR)
        NAME(CKR_FUNCTION_FAILED)
        NAME(CKR_ARGUMENTS_BAD)
        NAME(CKR_ATTRIBUTE_SENSITIVE)
        NAME(CKR_ATTRIBUTE_TYPE_INVALID)
        NAME(CKR_ATTRIBUTE_VALUE_INVALID)
        NAME(CKR_DEVICE_ERROR)
        NAME(CKR_DEVICE_MEMORY)
        NAME(CKR_DEVICE_REMOVED)
        NAME(CKR_ENCRYPTED_DATA_INVALID)
        NAME(CKR_ENCRYPTED_DATA_LEN_RANGE)
        NAME(CKR_KEY_HANDLE_INVALID)
        NAME(CKR_KEY_TYPE_INCONSISTENT)
        NAME(CKR_KEY_FUNCTION_NOT_PERMITTED)
        NAME(CKR_MECHANISM_INVALID)
        NAME(CKR_MECHANISM_PARAM_INVALID)
        NAME(CKR_OBJECT_HANDLE_INVALID)
        NAME(CKR_OPERATION_ACTIVE)
        NAME(CKR_PIN_INCORRECT)
        NAME(CKR_PIN_INVALID)
        NAME(CKR_PIN_LEN_RANGE)
        NAME(CKR_PIN_EXPIRED)
        NAME(CKR_PIN_LOCKED)
        NAME(CKR_SESSION_CLOSED)
        NAME(CKR_SESSION_HANDLE_INVALID)
        NAME(CKR_TEMPLATE_INCOMPLETE)
        NAME(CKR_TEMPLATE_INCONSISTENT)
        NAME(CKR_TOKEN_NOT_PRESENT)
        NAME(CKR_TOKEN_NOT_RECOGNIZED)
        NAME(CKR_TOKEN_WRITE_PROTECTED)
        NAME(CKR_USER_ALREADY_LOGGED_IN)
        NAME(CKR_USER_NOT_LOGGED_IN)
        NAME(CKR_USER_PIN_NOT_INITIALIZED)
        NAME(CKR_BUFFER_TOO_SMALL)
        NAME(CKR_CRYPTOKI_NOT_INITIALIZED)
        NAME(CKR_CRYPTOKI_ALREADY_INITIALIZED)
#undef NAME
        default: {
            char hex[32];
            std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(rv));
            return hex;
        }
    }
}

bool IsRemoval(CK_RV rv) {
    return rv == CKR_DEVICE_REMOVED || rv == CKR_TOKEN_NOT_PRESENT || rv == CKR_SESSION_HANDLE_INVALID ||
           rv == CKR_SESSION_CLOSED;
}

std::unique_ptr<Module> Module::Load(const std::string& path, std::string& error, const std::string& initArgs) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        error = why != nullptr ? why : path;
        return nullptr;
    }
    using GetList = CK_RV (*)(CK_FUNCTION_LIST**);
    auto getList = reinterpret_cast<GetList>(::dlsym(handle, "C_GetFunctionList"));
    CK_FUNCTION_LIST* list = nullptr;
    CK_RV rv = getList != nullptr ? getList(&list) : CKR_FUNCTION_FAILED;
    if (rv != CKR_OK || list == nullptr) {
        error = path + ": no C_GetFunctionList (" + ResultName(rv) + ")";
        ::dlclose(handle);
        return nullptr;
    }
    std::unique_ptr<Module> module = FromList(list, error, initArgs);
    if (!module) {
        ::dlclose(handle);
        return nullptr;
    }
    module->m_handle = handle;
    return module;
}

std::unique_ptr<Module> Module::FromList(CK_FUNCTION_LIST* list, std::string& error, const std::string& initArgs) {
    std::unique_ptr<Module> module(new Module);
    module->m_list = list;
    module->m_initArgs = initArgs;
    CK_C_INITIALIZE_ARGS args{};
    args.flags = CKF_OS_LOCKING_OK;
    if (!module->m_initArgs.empty()) args.pReserved = module->m_initArgs.data();
    CK_RV rv = list->C_Initialize(&args);
    // Initialised by another part of the process: use it, and leave its end to that part.
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        error = "C_Initialize: " + ResultName(rv);
        return nullptr;
    }
    module->m_initialised = rv == CKR_OK;
    return module;
}

std::shared_ptr<Module> Module::Shared(const std::string& path, CK_FUNCTION_LIST* list, std::string& error,
                                       const std::string& initArgs) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<Module>> loaded;
    char key[32];
    std::snprintf(key, sizeof key, "%p", static_cast<void*>(list));
    std::lock_guard<std::mutex> lock(mutex);
    std::weak_ptr<Module>& slot = loaded[(list != nullptr ? key : "file:" + path) + '\n' + initArgs];
    if (std::shared_ptr<Module> module = slot.lock()) return module;
    std::shared_ptr<Module> module(list != nullptr ? FromList(list, error, initArgs) : Load(path, error, initArgs));
    slot = module;
    return module;
}

Module::~Module() {
    if (m_initialised) m_list->C_Finalize(nullptr);
    if (m_handle != nullptr) ::dlclose(m_handle);
}

CK_RV Module::FindToken(const std::string& label, CK_SLOT_ID& slot) const {
    CK_ULONG count = 0;
    CK_RV rv = m_list->C_GetSlotList(CK_TRUE, nullptr, &count);
    if (rv != CKR_OK) return rv;
    std::vector<CK_SLOT_ID> slots(count);
    if (count > 0 && (rv = m_list->C_GetSlotList(CK_TRUE, slots.data(), &count)) != CKR_OK) return rv;
    slots.resize(count);
    for (CK_SLOT_ID candidate : slots) {
        CK_TOKEN_INFO info{};
        if (m_list->C_GetTokenInfo(candidate, &info) != CKR_OK) continue;
        if (Padded(info.label, sizeof info.label) == label) {
            slot = candidate;
            return CKR_OK;
        }
    }
    return CKR_TOKEN_NOT_PRESENT;
}

Session::~Session() {
    if (m_session == CK_INVALID_HANDLE) return;
    if (m_loggedIn) m_f->C_Logout(m_session);
    m_f->C_CloseSession(m_session);
}

CK_FLAGS Session::TokenFlags() const {
    CK_TOKEN_INFO info{};
    return m_f->C_GetTokenInfo(m_slot, &info) == CKR_OK ? info.flags : 0;
}

CK_RV Session::Open() {
    return m_f->C_OpenSession(m_slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &m_session);
}

CK_RV Session::Login(std::string_view pin) {
    CK_RV rv = m_f->C_Login(m_session, CKU_USER, reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin.data())),
                            static_cast<CK_ULONG>(pin.size()));
    // Logged in already through another session of this application on the same token.
    if (rv == CKR_USER_ALREADY_LOGGED_IN) return CKR_OK;
    m_loggedIn = rv == CKR_OK;
    return rv;
}

CK_RV Session::Find(std::vector<CK_ATTRIBUTE> match, std::vector<CK_OBJECT_HANDLE>& found) {
    found.assign(kMaxFound, CK_INVALID_HANDLE);
    CK_RV rv = m_f->C_FindObjectsInit(m_session, match.data(), static_cast<CK_ULONG>(match.size()));
    if (rv != CKR_OK) return rv;
    CK_ULONG count = 0;
    rv = m_f->C_FindObjects(m_session, found.data(), kMaxFound, &count);
    CK_RV end = m_f->C_FindObjectsFinal(m_session);
    found.resize(rv == CKR_OK ? count : 0);
    return rv != CKR_OK ? rv : end;
}

CK_RV Session::Attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, std::vector<unsigned char>& value) {
    CK_ATTRIBUTE attribute{type, nullptr, 0};
    CK_RV rv = m_f->C_GetAttributeValue(m_session, object, &attribute, 1);
    if (rv != CKR_OK) return rv;
    if (attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION) return CKR_ATTRIBUTE_TYPE_INVALID;
    value.resize(attribute.ulValueLen);
    attribute.pValue = value.data();
    rv = m_f->C_GetAttributeValue(m_session, object, &attribute, 1);
    if (rv == CKR_OK) value.resize(attribute.ulValueLen);
    return rv;
}

CK_RV Session::BoolAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, bool& value) {
    CK_BBOOL flag = CK_FALSE;
    CK_ATTRIBUTE attribute{type, &flag, sizeof flag};
    CK_RV rv = m_f->C_GetAttributeValue(m_session, object, &attribute, 1);
    value = rv == CKR_OK && flag == CK_TRUE;
    return rv;
}

}  // namespace logon::p11
