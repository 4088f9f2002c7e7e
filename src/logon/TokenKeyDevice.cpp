// The one OAEP padding check of OpenSSL that takes a raw decryption's output is marked
// deprecated; it stays the constant-time check to use.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "logon/TokenKeyDevice.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <climits>
#include <cstring>
#include <utility>

#include "logon/LogonKeys.h"
#include "logon/Messages.h"
#include "logon/PinDialog.h"
#include "platform/MessageBox.h"

namespace logon {

namespace {

constexpr CK_ULONG kModulusBits = 2048;
constexpr size_t kIdBytes = 16;
constexpr size_t kSha256Bytes = 32;
constexpr int kDialogAttempts = 3;
// DER of DigestInfo { sha1, NULL } ahead of the 20 digest bytes.
constexpr unsigned char kSha1DigestInfo[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                             0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};

PkeyPtr RsaPublicKey(const std::vector<unsigned char>& modulus, const std::vector<unsigned char>& exponent) {
    BnPtr n(BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr));
    BnPtr e(BN_bin2bn(exponent.data(), static_cast<int>(exponent.size()), nullptr));
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    if (!n || !e || build == nullptr || OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
        OSSL_PARAM_BLD_free(build);
        return nullptr;
    }
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(build);
    OSSL_PARAM_BLD_free(build);
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (params == nullptr || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) {
        key = nullptr;
    }
    OSSL_PARAM_free(params);
    return PkeyPtr(key);
}

bool IsWrongPin(CK_RV rv) { return rv == CKR_PIN_INCORRECT || rv == CKR_PIN_INVALID || rv == CKR_PIN_LEN_RANGE; }

}  // namespace

// ---- PIN sources

PinSource PinFromFile(std::string path) {
    return [path = std::move(path)](const std::string&, int attempt, SecretText& pin) {
        std::string text;
        if (attempt > 0) return false;
        if (!ReadSmallFile(path, 1024, text)) {
            ShowMessage(msg::logon::PinFileUnreadable, path);
            return false;
        }
        size_t end = text.find_first_of("\r\n");
        pin = std::string_view(text).substr(0, end);
        OPENSSL_cleanse(text.data(), text.size());
        return true;
    };
}

PinSource PinFromDialog() {
    return [](const std::string& token, int attempt, SecretText& pin) {
        if (attempt >= kDialogAttempts) return false;
        PinDialog dialog(token);
        if (UiHost().RunDialog(dialog) != PinDialog::kIdConfirm) return false;
        pin = dialog.Pin();
        return true;
    };
}

// ---- The link to one token

TokenLink::TokenLink(TokenSettings settings, std::string token)
    : m_settings(std::move(settings)), m_token(std::move(token)) {
    if (!m_settings.pin) m_settings.pin = PinFromDialog();
}

bool TokenLink::Connect(TokenFault& fault) {
    if (m_module) return true;
    if (m_moduleFailed) {
        fault = TokenFault::NoModule;
        return false;
    }
    std::string error;
    m_module = p11::Module::Shared(m_settings.module, m_settings.list, error, m_settings.moduleArgs);
    if (!m_module) {
        // Said once for the link: a batch does not repeat it for every file.
        m_moduleFailed = true;
        ShowMessage(msg::logon::TokenModuleFailed, m_settings.module, error);
        fault = TokenFault::NoModule;
        return false;
    }
    return true;
}

bool TokenLink::TokenPresent() {
    TokenFault fault = TokenFault::None;
    if (m_session) return true;
    CK_SLOT_ID slot = 0;
    return Connect(fault) && m_module->FindToken(m_token, slot) == CKR_OK;
}

TokenFault TokenLink::WrongPin(CK_FLAGS flags) {
    // The token counts the tries; what it says of them after this one is what the user hears.
    if (flags & CKF_USER_PIN_LOCKED) return Fail(CKR_PIN_LOCKED);
    if (flags & CKF_USER_PIN_FINAL_TRY) {
        ShowMessage(msg::logon::PinFinalTry, m_token);
    } else if (flags & CKF_USER_PIN_COUNT_LOW) {
        ShowMessage(msg::logon::PinCountLow, m_token);
    } else {
        ShowMessage(msg::logon::PinIncorrect, m_token);
    }
    return TokenFault::PinIncorrect;
}

TokenFault TokenLink::Fail(CK_RV rv) {
    if (IsWrongPin(rv)) {
        ShowMessage(msg::logon::PinIncorrect, m_token);
        return TokenFault::PinIncorrect;
    }
    if (rv == CKR_PIN_LOCKED) {
        ShowMessage(msg::logon::PinLocked, m_token);
        return TokenFault::PinLocked;
    }
    if (p11::IsRemoval(rv)) {
        const bool wasOpen = m_session != nullptr;
        m_session.reset();
        ShowMessage(wasOpen ? msg::logon::TokenRemoved : msg::logon::InsertToken, m_token);
        return wasOpen ? TokenFault::Removed : TokenFault::NotPresent;
    }
    ShowMessage(msg::logon::TokenFailed, m_token, p11::ResultName(rv));
    return TokenFault::Failed;
}

p11::Session* TokenLink::Ready(TokenFault& fault) {
    if (m_session) return m_session.get();
    if (!Connect(fault)) return nullptr;
    CK_SLOT_ID slot = 0;
    CK_RV rv = m_module->FindToken(m_token, slot);
    auto session = rv == CKR_OK ? std::make_unique<p11::Session>(*m_module, slot) : nullptr;
    if (session) rv = session->Open();
    if (rv != CKR_OK) {
        fault = Fail(rv);
        return nullptr;
    }
    // Once the PIN source has given up (a wrong PIN file, the dialog's tries spent or cancelled),
    // the rest of the batch asks no more and says nothing more: it was said once.
    if (m_pinGaveUp) {
        fault = TokenFault::NoPin;
        return nullptr;
    }
    // A PIN the token has locked is not asked for: no answer could open it.
    if (session->TokenFlags() & CKF_USER_PIN_LOCKED) {
        fault = Fail(CKR_PIN_LOCKED);
        return nullptr;
    }
    for (int attempt = 0;; ++attempt) {
        SecretText pin;
        if (!m_settings.pin(m_token, attempt, pin)) {
            // A PIN file that was wrong has said so already; a cancelled dialog needs no word.
            fault = attempt > 0 ? TokenFault::PinIncorrect : TokenFault::NoPin;
            m_pinGaveUp = true;
            return nullptr;
        }
        rv = session->Login(pin.view());
        if (rv == CKR_OK) break;
        fault = IsWrongPin(rv) ? WrongPin(session->TokenFlags()) : Fail(rv);
        if (fault != TokenFault::PinIncorrect) return nullptr;
    }
    m_session = std::move(session);
    return m_session.get();
}

// ---- The device

TokenKeyDevice::TokenKeyDevice(std::shared_ptr<TokenLink> link, const p11::Uri& uri, std::string deviceText,
                               const std::string& userId)
    : m_link(std::move(link)),
      m_deviceText(std::move(deviceText)),
      m_label(uri.object.empty() ? userId : uri.object),
      m_id(uri.id.begin(), uri.id.end()) {}

bool TokenKeyDevice::Failed(CK_RV rv) {
    m_fault = m_link->Fail(rv);
    return false;
}

bool TokenKeyDevice::IsPresent() {
    auto lock = m_link->Lock();
    return m_link->TokenPresent();
}

CK_OBJECT_HANDLE TokenKeyDevice::FindKey(p11::Session& session, CK_OBJECT_CLASS kind, bool needed) {
    std::vector<CK_ATTRIBUTE> match = {{CKA_CLASS, &kind, sizeof kind}, {CKA_LABEL, m_label.data(), m_label.size()}};
    if (!m_id.empty()) match.push_back({CKA_ID, m_id.data(), m_id.size()});
    std::vector<CK_OBJECT_HANDLE> found;
    CK_RV rv = session.Find(match, found);
    if (rv != CKR_OK) {
        Failed(rv);
        return CK_INVALID_HANDLE;
    }
    if (found.empty()) {
        m_fault = TokenFault::NoKey;
        if (needed) ShowMessage(msg::logon::NoTokenKey, m_link->Token(), m_label);
        return CK_INVALID_HANDLE;
    }
    if (m_id.empty()) session.Attribute(found.front(), CKA_ID, m_id);
    return found.front();
}

std::string TokenKeyDevice::HeldKey() const {
    // A const view of the token: the search needs the session, which a lookup may open.
    auto* self = const_cast<TokenKeyDevice*>(this);
    auto lock = m_link->Lock();
    if (!self->m_link->TokenPresent()) return {};
    TokenFault fault = TokenFault::None;
    p11::Session* session = self->m_link->Ready(fault);
    if (session == nullptr) return {};
    return self->FindKey(*session, CKO_PRIVATE_KEY) != CK_INVALID_HANDLE ? m_deviceText : std::string{};
}

PkeyPtr TokenKeyDevice::GenerateKey() {
    auto lock = m_link->Lock();
    p11::Session* session = m_link->Ready(m_fault);
    if (session == nullptr) return nullptr;
    if (m_id.empty()) {
        m_id.resize(kIdBytes);
        if (RAND_bytes(m_id.data(), static_cast<int>(m_id.size())) != 1) return nullptr;
    }
    CK_BBOOL yes = CK_TRUE;
    CK_BBOOL no = CK_FALSE;
    CK_ULONG bits = kModulusBits;
    unsigned char exponent[] = {0x01, 0x00, 0x01};
    CK_ATTRIBUTE publicPart[] = {
        {CKA_TOKEN, &yes, sizeof yes},
        {CKA_PRIVATE, &no, sizeof no},
        {CKA_ENCRYPT, &yes, sizeof yes},
        {CKA_VERIFY, &yes, sizeof yes},
        {CKA_MODULUS_BITS, &bits, sizeof bits},
        {CKA_PUBLIC_EXPONENT, exponent, sizeof exponent},
        {CKA_LABEL, m_label.data(), m_label.size()},
        {CKA_ID, m_id.data(), m_id.size()},
    };
    CK_ATTRIBUTE privatePart[] = {
        {CKA_TOKEN, &yes, sizeof yes},
        {CKA_PRIVATE, &yes, sizeof yes},
        {CKA_SENSITIVE, &yes, sizeof yes},
        {CKA_EXTRACTABLE, &no, sizeof no},
        {CKA_DECRYPT, &yes, sizeof yes},
        {CKA_SIGN, &yes, sizeof yes},
        {CKA_LABEL, m_label.data(), m_label.size()},
        {CKA_ID, m_id.data(), m_id.size()},
    };
    CK_MECHANISM mechanism{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
    CK_OBJECT_HANDLE publicKey = CK_INVALID_HANDLE;
    CK_OBJECT_HANDLE privateKey = CK_INVALID_HANDLE;
    CK_FUNCTION_LIST* f = session->F();
    CK_RV rv = f->C_GenerateKeyPair(session->Handle(), &mechanism, publicPart, std::size(publicPart), privatePart,
                                    std::size(privatePart), &publicKey, &privateKey);
    if (rv != CKR_OK) return Failed(rv), nullptr;
    // What the token keeps is what counts, not what was asked for.
    bool sensitive = false;
    bool neverExtractable = false;
    rv = session->BoolAttribute(privateKey, CKA_SENSITIVE, sensitive);
    if (rv == CKR_OK) rv = session->BoolAttribute(privateKey, CKA_NEVER_EXTRACTABLE, neverExtractable);
    std::vector<unsigned char> modulus;
    std::vector<unsigned char> publicExponent;
    if (rv == CKR_OK) rv = session->Attribute(publicKey, CKA_MODULUS, modulus);
    if (rv == CKR_OK) rv = session->Attribute(publicKey, CKA_PUBLIC_EXPONENT, publicExponent);
    PkeyPtr key = rv == CKR_OK && sensitive && neverExtractable ? RsaPublicKey(modulus, publicExponent) : nullptr;
    if (!key) {
        f->C_DestroyObject(session->Handle(), privateKey);
        f->C_DestroyObject(session->Handle(), publicKey);
        if (rv != CKR_OK) return Failed(rv), nullptr;
        m_fault = TokenFault::Extractable;
        ShowMessage(msg::logon::KeyExtractable, m_link->Token());
    }
    return key;
}

bool TokenKeyDevice::EraseKey() {
    auto lock = m_link->Lock();
    p11::Session* session = m_link->Ready(m_fault);
    if (session == nullptr) return false;
    for (CK_OBJECT_CLASS kind : {CKO_PRIVATE_KEY, CKO_PUBLIC_KEY, CKO_CERTIFICATE}) {
        for (CK_OBJECT_HANDLE object; (object = FindKey(*session, kind)) != CK_INVALID_HANDLE;) {
            if (CK_RV rv = session->F()->C_DestroyObject(session->Handle(), object); rv != CKR_OK) return Failed(rv);
        }
        if (m_fault != TokenFault::NoKey) return false;
        m_fault = TokenFault::None;
    }
    return true;
}

int TokenKeyDevice::SignDigest(const unsigned char* digest, size_t digestLength, unsigned char* signature,
                               size_t room) {
    if (digest == nullptr || digestLength != 20) return kDeviceFailed;
    unsigned char info[sizeof kSha1DigestInfo + 20];
    std::memcpy(info, kSha1DigestInfo, sizeof kSha1DigestInfo);
    std::memcpy(info + sizeof kSha1DigestInfo, digest, 20);
    return SignInfo(info, sizeof info, signature, room);
}

int TokenKeyDevice::SignInfo(const unsigned char* info, size_t length, unsigned char* signature, size_t room) {
    if (signature == nullptr) return kDeviceFailed;
    auto lock = m_link->Lock();
    p11::Session* session = m_link->Ready(m_fault);
    CK_OBJECT_HANDLE key = session != nullptr ? FindKey(*session, CKO_PRIVATE_KEY, true) : CK_INVALID_HANDLE;
    if (key == CK_INVALID_HANDLE) return kDeviceSaid;
    CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
    CK_FUNCTION_LIST* f = session->F();
    CK_RV rv = f->C_SignInit(session->Handle(), &mechanism, key);
    CK_ULONG got = static_cast<CK_ULONG>(room);
    if (rv == CKR_OK) rv = f->C_Sign(session->Handle(), const_cast<unsigned char*>(info), length, signature, &got);
    if (rv != CKR_OK) return Failed(rv), kDeviceSaid;
    return static_cast<int>(got);
}

X509Ptr TokenKeyDevice::MakeKeyOnDevice(const std::string& name, const std::string& email, long serial) {
    PkeyPtr key = GenerateKey();
    if (!key) return nullptr;
    X509Ptr cert = MakeSelfSignedCert(key.get(), name, email, serial,
                                      [this](const unsigned char* info, size_t length, unsigned char* signature,
                                             size_t room) { return SignInfo(info, length, signature, room); });
    if (!cert || !StoreCertificate(cert.get())) {
        if (m_fault == TokenFault::None) ShowMessage(msg::logon::NoUserCertificate, m_link->Token());
        EraseKey();
        return nullptr;
    }
    return cert;
}

bool TokenKeyDevice::StoreCertificate(X509* cert) {
    std::vector<unsigned char> der = CertToDer(cert);
    unsigned char* subject = nullptr;
    int subjectLength = i2d_X509_NAME(X509_get_subject_name(cert), &subject);
    if (der.empty() || subjectLength <= 0) return false;
    auto lock = m_link->Lock();
    p11::Session* session = m_link->Ready(m_fault);
    CK_OBJECT_CLASS kind = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    CK_BBOOL yes = CK_TRUE;
    CK_BBOOL no = CK_FALSE;
    CK_ATTRIBUTE object[] = {
        {CKA_CLASS, &kind, sizeof kind},
        {CKA_CERTIFICATE_TYPE, &type, sizeof type},
        {CKA_TOKEN, &yes, sizeof yes},
        {CKA_PRIVATE, &no, sizeof no},
        {CKA_LABEL, m_label.data(), m_label.size()},
        {CKA_ID, m_id.data(), m_id.size()},
        {CKA_SUBJECT, subject, static_cast<CK_ULONG>(subjectLength)},
        {CKA_VALUE, der.data(), der.size()},
    };
    CK_OBJECT_HANDLE handle = CK_INVALID_HANDLE;
    CK_RV rv = session != nullptr ? session->F()->C_CreateObject(session->Handle(), object, std::size(object), &handle)
                                  : CKR_OK;
    OPENSSL_free(subject);
    if (session == nullptr) return false;
    return rv == CKR_OK || Failed(rv);
}

int TokenKeyDevice::Unwrap(const unsigned char* in, size_t length, unsigned char* out, size_t room) {
    if (in == nullptr || out == nullptr || length == 0) return kDeviceFailed;
    auto lock = m_link->Lock();
    p11::Session* session = m_link->Ready(m_fault);
    CK_OBJECT_HANDLE key = session != nullptr ? FindKey(*session, CKO_PRIVATE_KEY, true) : CK_INVALID_HANDLE;
    if (key == CK_INVALID_HANDLE) return kDeviceSaid;
    CK_RSA_PKCS_OAEP_PARAMS oaep{CKM_SHA256, CKG_MGF1_SHA256, CKZ_DATA_SPECIFIED, nullptr, 0};
    CK_MECHANISM mechanism{CKM_RSA_PKCS_OAEP, &oaep, sizeof oaep};
    CK_FUNCTION_LIST* f = session->F();
    CK_RV rv = f->C_DecryptInit(session->Handle(), &mechanism, key);
    if (rv == CKR_ARGUMENTS_BAD || rv == CKR_MECHANISM_INVALID || rv == CKR_MECHANISM_PARAM_INVALID) {
        return RawUnwrap(*session, key, in, length, out, room);
    }
    // From here the token has the ciphertext: a failure is final, never retried another way.
    CK_ULONG got = static_cast<CK_ULONG>(room);
    if (rv == CKR_OK) {
        rv = f->C_Decrypt(session->Handle(), const_cast<unsigned char*>(in), static_cast<CK_ULONG>(length), out, &got);
    }
    if (rv != CKR_OK) return Failed(rv), kDeviceSaid;
    return static_cast<int>(got);
}

int TokenKeyDevice::RawUnwrap(p11::Session& session, CK_OBJECT_HANDLE key, const unsigned char* in, size_t length,
                              unsigned char* out, size_t room) {
    std::vector<unsigned char> modulus;
    CK_RV rv = session.Attribute(key, CKA_MODULUS, modulus);
    if (rv != CKR_OK) {
        // A private key that does not show its modulus: read the public half's.
        CK_OBJECT_HANDLE publicKey = FindKey(session, CKO_PUBLIC_KEY, true);
        if (publicKey == CK_INVALID_HANDLE) return kDeviceSaid;
        if ((rv = session.Attribute(publicKey, CKA_MODULUS, modulus)) != CKR_OK) return Failed(rv), kDeviceSaid;
    }
    const size_t k = modulus.size();
    if (k < 2 * kSha256Bytes + 2 || length != k) return kDeviceFailed;
    CK_MECHANISM mechanism{CKM_RSA_X_509, nullptr, 0};
    CK_FUNCTION_LIST* f = session.F();
    rv = f->C_DecryptInit(session.Handle(), &mechanism, key);
    if (rv == CKR_MECHANISM_INVALID || rv == CKR_MECHANISM_PARAM_INVALID) {
        m_fault = TokenFault::NoEnvelopes;
        ShowMessage(msg::logon::NoEnvelopeOpening, m_link->Token());
        return kDeviceSaid;
    }
    SecretBytes em(k);
    CK_ULONG got = static_cast<CK_ULONG>(k);
    if (rv == CKR_OK) {
        rv = f->C_Decrypt(session.Handle(), const_cast<unsigned char*>(in), static_cast<CK_ULONG>(length), em.data(),
                          &got);
    }
    if (rv != CKR_OK) return Failed(rv), kDeviceSaid;
    if (got > k) return kDeviceFailed;
    // A token may leave out the leading zero bytes of the result.
    std::memmove(em.data() + (k - got), em.data(), got);
    std::memset(em.data(), 0, k - got);
    int n = OaepDecodeSha256(em.data(), k, out, room);
    return n >= 0 ? n : kDeviceFailed;
}

int OaepDecodeSha256(const unsigned char* em, size_t k, unsigned char* out, size_t room) {
    if (em == nullptr || out == nullptr || k < 2 * kSha256Bytes + 2 || k > 4096 || room > INT_MAX) return -1;
    // OpenSSL's check runs in constant time whatever em holds, so the time it takes tells an
    // attacker who sends forged envelopes nothing about where the padding went wrong.
    int n = RSA_padding_check_PKCS1_OAEP_mgf1(out, static_cast<int>(room), em, static_cast<int>(k), static_cast<int>(k),
                                              nullptr, 0, EVP_sha256(), EVP_sha256());
    if (n < 0) ERR_clear_error();
    return n < 0 ? -1 : n;
}

}  // namespace logon
