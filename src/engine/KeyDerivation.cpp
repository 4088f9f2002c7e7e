// Key material: random session keys and IVs, the key of a password, and the check value of
// version-"30" password packages.

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kKeyRoom = 20;  // what callers of Generate_EncryptKey provide
constexpr int kIvRoom = 8;
constexpr int kMaxPasswordKey = 99;
constexpr size_t kCopyRoom = 1000;

// Extra seed for the random generator: the time and a runtime random number.
std::string SeedText() {
    std::time_t now = std::time(nullptr);
    std::tm gmt{};
    gmtime_r(&now, &gmt);
    char text[64];
    size_t n = std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S GMT", &gmt);
    return std::string(text, n) + std::to_string(std::rand());
}

}  // namespace

void CKorvane::Generate_EncryptKey(int id, char* key, int* keyLength, char* iv, int* ivLength) try {
    EngineCall call(m_context);
    if (keyLength == nullptr || ivLength == nullptr) return;
    // For an unknown identifier the caller's lengths stand.
    if (CipherKeyLength(id) > 0) {
        *keyLength = CipherKeyLength(id);
        *ivLength = CipherIvLength(id);
    }
    // Lengths a caller set for an unknown id are only honoured within the documented rooms.
    if (*keyLength < 0 || *keyLength > kKeyRoom || *ivLength < 0 || *ivLength > kIvRoom) return;
    if ((*keyLength > 0 && key == nullptr) || (*ivLength > 0 && iv == nullptr)) return;

    std::string seed = SeedText();
    RAND_seed(seed.data(), static_cast<int>(seed.size()));
    bool ok = RAND_bytes(reinterpret_cast<unsigned char*>(key), *keyLength) == 1;
    // The IV's seed: the text's last six characters, then all but its last five.
    std::string turned = seed.substr(seed.size() - std::min<size_t>(6, seed.size())) +
                         seed.substr(0, seed.size() - std::min<size_t>(5, seed.size()));
    RAND_seed(turned.data(), static_cast<int>(turned.size()));
    ok = ok && RAND_bytes(reinterpret_cast<unsigned char*>(iv), *ivLength) == 1;
    if (!ok) {
        // Never hand out a key that is not random: callers see empty lengths.
        if (*keyLength > 0) OPENSSL_cleanse(key, static_cast<size_t>(*keyLength));
        *keyLength = 0;
        *ivLength = 0;
        ShowMessage(msg::engine::RandomKeyFailed);
    }
} catch (...) {
    EntryFailed(m_context);
}

int CKorvane::GenerateKeyByHash(const char* password, int passwordLength, char* key, int keyLength) try {
    EngineCall call(m_context);
    if (keyLength <= 0 || keyLength > kMaxPasswordKey || key == nullptr) return 0;
    if (passwordLength < 0 || (passwordLength > 0 && password == nullptr)) return 0;
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLength = 0;
    static const char kEmpty = 0;
    if (EVP_Digest(passwordLength > 0 ? password : &kEmpty, static_cast<size_t>(passwordLength), md, &mdLength,
                   EVP_md5(), nullptr) != 1 ||
        mdLength != 16)
        return 0;
    std::memset(key, 0, static_cast<size_t>(keyLength));
    std::memcpy(key, md, std::min<size_t>(16, static_cast<size_t>(keyLength)));
    OPENSSL_cleanse(md, sizeof md);
    return 1;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::EncryptKey30(int id, const unsigned char* key, int keyLength, unsigned char* out, int* outLength) {
    if (outLength == nullptr) return 0;
    *outLength = 0;
    if (key == nullptr || out == nullptr || keyLength <= 0 || static_cast<size_t>(keyLength) > kCopyRoom) return 0;
    const size_t n = static_cast<size_t>(keyLength);
    // Key and IV: copies of the key while more room is left after a copy than a key takes.
    unsigned char a[kCopyRoom] = {}, b[kCopyRoom] = {};
    size_t used = 0;
    do {
        std::memcpy(a + used, key, n);
        std::memcpy(b + used, key, n);
        used += n;
    } while (kCopyRoom - used > n);

    int ok = Evp_EncryptInit(a, b, id);
    OPENSSL_cleanse(a, sizeof a);
    OPENSSL_cleanse(b, sizeof b);
    if (!ok) return 0;
    int produced = 0, tail = 0;
    if (!Evp_EncryptUpdate(out, &produced, key, keyLength)) return 0;
    if (!Evp_EncryptFinalEx(out + produced, &tail)) return 0;
    *outLength = produced + tail;
    return 1;
}
