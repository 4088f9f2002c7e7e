#pragma once
// The key device of a user whose key lives on a token or smart card, reached through PKCS#11
// and named by an RFC 7512 URI ("pkcs11:token=LABEL[;object=LABEL][;id=%01%02]"). The key
// pair is generated on the token and its private half never leaves it: signing (RSA PKCS#1
// v1.5 over the SHA-1 DigestInfo) and unwrapping (RSA-OAEP, SHA-256 and MGF1-SHA-256) happen
// there. A token that refuses the OAEP parameters at C_DecryptInit decrypts raw (CKM_RSA_X_509)
// and the OAEP padding is checked here; a C_Decrypt that failed is never tried again another way.
//
// The token is opened once per TokenLink (module loaded and initialised, one logged-in
// session); the key-device factory keeps a link per module and token, so a batch asks for the
// PIN once. Every fault of the token is shown once, where it is found, and kept as LastFault.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "logon/KeyDevice.h"
#include "logon/Pkcs11.h"
#include "platform/Secret.h"

namespace logon {

enum class TokenFault {
    None,
    NoModule,      // the module cannot be loaded or initialised
    NotPresent,    // no token with the wanted label
    Removed,       // pulled out during the work (the batch stops)
    PinIncorrect,  // a wrong PIN (each try says so)
    PinLocked,
    NoPin,        // the PIN was not given (dialog cancelled, no PIN file)
    NoKey,        // the token holds no key for the user
    Extractable,  // a key that can leave the token: refused
    NoEnvelopes,  // the token can neither do OAEP nor raw RSA decryption
    Failed,       // any other answer of the token
};

// Where the PIN comes from: attempt counts from 0; false when there is none (cancelled).
using PinSource = std::function<bool(const std::string& token, int attempt, SecretText& pin)>;
// The PIN in a file (its first line); only one attempt, as a file cannot change its answer. A
// file that cannot be read says so.
PinSource PinFromFile(std::string path);
// Asks through the password dialog, three attempts at most.
PinSource PinFromDialog();

struct TokenSettings {
    // The PKCS#11 module; empty: the store's setting "Device"/"Module", else the p11-kit proxy.
    std::string module;
    // The module's initialisation text (C_Initialize's pReserved); with an empty module, the
    // store's setting "Device"/"ModuleArgs".
    std::string moduleArgs;
    PinSource pin;  // empty: the password dialog
    // A function list used instead of loading module (a test's stand-in around a real one).
    CK_FUNCTION_LIST* list = nullptr;
};

// One token reached through one module, logged in once.
class TokenLink {
public:
    TokenLink(TokenSettings settings, std::string token);
    // The session, connecting, finding the token and logging in as needed; null when that
    // fails (the fault has been shown). Hold Lock() while using it.
    p11::Session* Ready(TokenFault& fault);
    // Whether the token is in a slot now (no login, nothing shown).
    bool TokenPresent();
    // Answers the fault a code means, shows it, and forgets the session when the token is gone.
    TokenFault Fail(CK_RV rv);
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }
    const std::string& Token() const { return m_token; }

private:
    bool Connect(TokenFault& fault);
    // Says a wrong PIN as the token's flags after the try count it (last try, few left, locked).
    TokenFault WrongPin(CK_FLAGS flags);

    TokenSettings m_settings;
    std::string m_token;
    std::mutex m_mutex;
    std::shared_ptr<p11::Module> m_module;
    std::unique_ptr<p11::Session> m_session;
    bool m_moduleFailed = false;
    bool m_pinGaveUp = false;
};

class TokenKeyDevice : public IKeyDevice {
public:
    // uri: the user's device text; the key's label is its object, else the user's ID.
    TokenKeyDevice(std::shared_ptr<TokenLink> link, const p11::Uri& uri, std::string deviceText,
                   const std::string& userId);

    // Generates the user's RSA-2048 pair on the token (private, sensitive, never extractable,
    // read back) and answers its public half; null when it cannot (shown).
    PkeyPtr GenerateKey();
    // Both answer the output's length, kDeviceSaid when the token's fault has been shown, or
    // kDeviceFailed (bad input, an envelope key whose padding is wrong: the caller says so).
    int SignDigest(const unsigned char* digest, size_t digestLength, unsigned char* signature, size_t room);
    int Unwrap(const unsigned char* in, size_t length, unsigned char* out, size_t room);
    TokenFault LastFault() const { return m_fault; }
    // The CKA_ID the key carries (empty until found or generated).
    const std::vector<unsigned char>& KeyId() const { return m_id; }

    bool IsPresent() override;
    // The key never leaves the token: there is nothing to open or store as a file.
    PkeyPtr OpenKey(const char*, size_t) override { return nullptr; }
    bool StoreKey(EVP_PKEY*, const char*, size_t) override { return false; }
    bool EraseKey() override;
    bool StageKey(EVP_PKEY*, const char*, size_t) override { return false; }
    bool CommitStagedKey() override { return true; }
    void DropStagedKey() override {}
    bool SettleStagedKey(const char*, size_t) override { return true; }
    std::string KeyText() override { return {}; }
    std::string KeyPlace() const override { return m_deviceText; }
    std::string HeldKey() const override;
    bool KeyStaysOnDevice() const override { return true; }
    int SignOnDevice(const unsigned char* digest, size_t digestLength, unsigned char* signature, size_t room) override {
        return SignDigest(digest, digestLength, signature, room);
    }
    // The key pair, then its certificate signed on the token and kept there too (CKO_CERTIFICATE
    // with the key's CKA_ID and label).
    X509Ptr MakeKeyOnDevice(const std::string& name, const std::string& email, long serial) override;
    int UnwrapOnDevice(const unsigned char* in, size_t length, unsigned char* out, size_t room) override {
        return Unwrap(in, length, out, room);
    }

private:
    // The user's object of that class on the token; CK_INVALID_HANDLE with m_fault set when
    // absent (shown when needed: signing and unwrapping cannot go on without it).
    CK_OBJECT_HANDLE FindKey(p11::Session& session, CK_OBJECT_CLASS kind, bool needed = false);
    bool Failed(CK_RV rv);
    // RSA PKCS#1 v1.5 on the token over a DER DigestInfo.
    int SignInfo(const unsigned char* info, size_t length, unsigned char* signature, size_t room);
    bool StoreCertificate(X509* cert);
    int RawUnwrap(p11::Session& session, CK_OBJECT_HANDLE key, const unsigned char* in, size_t length,
                  unsigned char* out, size_t room);

    std::shared_ptr<TokenLink> m_link;
    std::string m_deviceText;
    std::string m_label;
    std::vector<unsigned char> m_id;
    TokenFault m_fault = TokenFault::None;
};

// Checks and removes RSA-OAEP padding (SHA-256, MGF1-SHA-256, empty label) from em, the
// k-byte result of a raw RSA decryption. The message's length, or -1 when the padding is
// wrong or the message does not fit in room; the check takes the same time whatever em holds.
int OaepDecodeSha256(const unsigned char* em, size_t k, unsigned char* out, size_t room);

}  // namespace logon
