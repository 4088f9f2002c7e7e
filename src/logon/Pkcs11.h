#pragma once
// A small owner of a PKCS#11 module and its sessions: the module is loaded with dlopen and
// initialised once per Module (C_Initialize / C_Finalize), a Session is opened read-write on
// one slot and closed (logged out first) when it goes. Every call answers the module's CK_RV;
// nothing here shows a message or throws. The function list is used directly: each call is
// one line away from the standard, so a token's answer is never reinterpreted on the way.

#include <p11-kit/pkcs11.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace logon::p11 {

// The module every token the system knows is reached through.
inline constexpr const char* kDefaultModule = "p11-kit-proxy.so";

// An RFC 7512 URI's path attributes this engine selects by: the token's label, the object's
// label and its CKA_ID (percent-decoded). Query attributes are ignored, and so are other
// path attributes (manufacturer, serial, model, slot-...): a token is chosen by its label.
struct Uri {
    std::string token;
    std::string object;
    std::string id;
};
// False when text is no pkcs11: URI or an attribute is badly encoded.
bool ParseUri(std::string_view text, Uri& out);
bool IsUri(std::string_view text);

// The name a result code has in the standard ("CKR_PIN_INCORRECT"), or its hex value.
std::string ResultName(CK_RV rv);
// The codes that mean the token is gone: pulled out, not there, or its session lost with it.
bool IsRemoval(CK_RV rv);

class Module {
public:
    // Loads path (a file name is looked up as dlopen does) and initialises it; null with
    // error set when that fails. initArgs, when not empty, is the module's own initialisation
    // text, handed to C_Initialize as pReserved (NSS's software token takes its database so).
    static std::unique_ptr<Module> Load(const std::string& path, std::string& error, const std::string& initArgs = {});
    // Takes an already loaded function list (a test's stand-in); initialises it.
    static std::unique_ptr<Module> FromList(CK_FUNCTION_LIST* list, std::string& error,
                                            const std::string& initArgs = {});
    // The module of path (or list, when given) that every part of the process shares while
    // any holds it: one C_Initialize, and a C_Finalize only after the last user is done.
    static std::shared_ptr<Module> Shared(const std::string& path, CK_FUNCTION_LIST* list, std::string& error,
                                          const std::string& initArgs = {});
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    CK_FUNCTION_LIST* F() const { return m_list; }
    // The slot whose token carries label (padded labels compared trimmed); CKR_TOKEN_NOT_PRESENT
    // when no slot has it.
    CK_RV FindToken(const std::string& label, CK_SLOT_ID& slot) const;

private:
    Module() = default;
    void* m_handle = nullptr;
    CK_FUNCTION_LIST* m_list = nullptr;
    bool m_initialised = false;
    std::string m_initArgs;  // kept while the module may read it
};

class Session {
public:
    Session(const Module& module, CK_SLOT_ID slot) : m_f(module.F()), m_slot(slot) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CK_RV Open();
    CK_RV Login(std::string_view pin);
    CK_SESSION_HANDLE Handle() const { return m_session; }
    // The flags of the slot's token (CK_TOKEN_INFO), 0 when the token does not answer; the PIN
    // flags (CKF_USER_PIN_COUNT_LOW, _FINAL_TRY, _LOCKED) count the user's wrong tries.
    CK_FLAGS TokenFlags() const;
    CK_FUNCTION_LIST* F() const { return m_f; }

    // Every object matching the template (at most 64).
    CK_RV Find(std::vector<CK_ATTRIBUTE> match, std::vector<CK_OBJECT_HANDLE>& found);
    // One attribute's value; CKR_ATTRIBUTE_TYPE_INVALID / _SENSITIVE as the token answers.
    CK_RV Attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, std::vector<unsigned char>& value);
    CK_RV BoolAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, bool& value);

private:
    CK_FUNCTION_LIST* m_f;
    CK_SLOT_ID m_slot;
    CK_SESSION_HANDLE m_session = CK_INVALID_HANDLE;
    bool m_loggedIn = false;
};

}  // namespace logon::p11
