#include "shell/SelfTests.h"

#include <cstring>
#include <vector>

#include "engine/EngineContext.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "logon/ILogon.h"
#include "platform/SslHandles.h"

namespace {

constexpr int kPlainLength = 24;
constexpr int kRsaPlainLength = 30;

// Encrypts the block in two updates (split after `first` bytes), decrypts it in one update and
// an empty one; true when the block comes back unchanged.
bool RoundTrip(CKorvane& engine, int id, int first) {
    unsigned char key[16] = {}, iv[8] = {};
    unsigned char plain[kPlainLength], cipher[kPlainLength + 16] = {}, back[kPlainLength + 16] = {};
    std::memset(plain, 0x01, sizeof plain);

    int n1 = 0, n2 = 0, n3 = 0;
    if (!engine.Evp_EncryptInit(key, iv, id)) return false;
    bool ok = engine.Evp_EncryptUpdate(cipher, &n1, plain, first) &&
              engine.Evp_EncryptUpdate(cipher + n1, &n2, plain + first, kPlainLength - first);
    ok = engine.Evp_EncryptFinalEx(cipher + n1 + n2, &n3) && ok;
    if (!ok) return false;
    int encrypted = n1 + n2 + n3;

    int d1 = 0, d2 = 0, d3 = 0;
    if (!engine.Evp_DecryptInit(key, iv, id)) return false;
    ok = engine.Evp_DecryptUpdate(back, &d1, cipher, encrypted) && engine.Evp_DecryptUpdate(back + d1, &d2, cipher, 0);
    ok = engine.Evp_DecryptFinal(back + d1 + d2, &d3) && ok;
    return ok && d1 + d2 + d3 == kPlainLength && std::memcmp(back, plain, kPlainLength) == 0;
}

// A key that stays on its device round-trips there: wrapped under the user's certificate and
// opened by the device, as an envelope's session key is. 0 passed, 2 failed.
int DeviceRoundTrip(ILogon& logon, const char* user, const char* password, int rounds) {
    Lumo_PubCert recipient;
    recipient.name = CertificateNameOf(user);
    unsigned char plain[kRsaPlainLength];
    for (int i = 0; i < kRsaPlainLength; ++i) plain[i] = static_cast<unsigned char>(i);
    std::vector<unsigned char> wrapped(kLogonWrapOutRoom), back(kLogonWrapOutRoom);
    for (int round = 0; round < rounds; ++round) {
        int n = logon.WrapSessionKey(kRsaPlainLength, plain, wrapped.data(), recipient);
        int m = n > 0 ? logon.UnwrapSessionKey(n, wrapped.data(), back.data(), user, recipient.name, 2, password,
                                               static_cast<int>(std::strlen(password)))
                      : -1;
        if (m != kRsaPlainLength || std::memcmp(back.data(), plain, kRsaPlainLength) != 0) return 2;
    }
    return 0;
}

}  // namespace

int TestSymmtryEncrypt(int rounds) try {
    CKorvane engine;
    static const int kIds[] = {kCipherDesOfb, kCipherDesEdeOfb, kCipherIdeaOfb};
    bool firstCipher = true;
    for (int round = 0; round < rounds; ++round) {
        for (int id : kIds) {
            // The very first pass splits the block unevenly, so a cipher that loses its place
            // inside a block is caught.
            if (!RoundTrip(engine, id, firstCipher ? 19 : kPlainLength)) return 0;
            firstCipher = false;
        }
    }
    return 1;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}

int TestRSAEncrypt(const char* user, const char* password, int rounds) try {
    ILogon* logon = LogonLibrary();
    if (logon == nullptr || user == nullptr || password == nullptr) return 1;
    EVP_PKEY* rawPublic = nullptr;
    X509* rawCert = nullptr;
    int found = logon->GetSignerCert(CertificateNameOf(user), 4, &rawPublic, &rawCert);
    PkeyPtr publicKey(rawPublic);
    X509Ptr cert(rawCert);
    EVP_PKEY* rawPrivate = nullptr;
    int type = 0;
    int opened = found
                     ? logon->GetPrivateKey(&rawPrivate, user, password, static_cast<int>(std::strlen(password)), type)
                     : kPrivateKeyUnknownUser;
    PkeyPtr privateKey(rawPrivate);
    if (found && publicKey && opened == kPrivateKeyOnDevice) return DeviceRoundTrip(*logon, user, password, rounds);
    if (!found || !publicKey || opened != kPrivateKeyOk || !privateKey) return 1;

    CKorvane engine;
    unsigned char plain[kRsaPlainLength];
    for (int i = 0; i < kRsaPlainLength; ++i) plain[i] = static_cast<unsigned char>(i);
    std::vector<unsigned char> wrapped(static_cast<size_t>(EVP_PKEY_get_size(publicKey.get())));
    std::vector<unsigned char> back(static_cast<size_t>(EVP_PKEY_get_size(privateKey.get())));
    for (int round = 0; round < rounds; ++round) {
        int n = engine.Rsa_public_encrypt(kRsaPlainLength, plain, wrapped.data(), publicKey.get());
        if (n <= 0 || static_cast<size_t>(n) > wrapped.size()) return 2;
        int m = engine.Rsa_private_decrypt(n, wrapped.data(), back.data(), privateKey.get());
        if (m != kRsaPlainLength || std::memcmp(back.data(), plain, kRsaPlainLength) != 0) return 2;
    }
    return 0;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}

int TestSysmtryAndRSAEncrypt(const char* user, const char* password, int rounds, int bRSA) try {
    if (!TestSymmtryEncrypt(rounds)) return 2;
    return bRSA ? TestRSAEncrypt(user, password, rounds) : 0;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}
