#include "drivers/Mqk21.h"

#include <openssl/evp.h>

namespace {

constexpr int kKeyLength = 16;

int Init(const unsigned char* key, int keyLength, intptr_t* handle, int encrypt) {
    if (handle == nullptr) return -1;
    *handle = 0;
    if (key == nullptr || keyLength != kKeyLength) return -1;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx == nullptr) return -1;
    static const unsigned char kZeroIv[16] = {};
    if (EVP_CipherInit_ex(ctx, EVP_aes_128_cfb128(), nullptr, key, kZeroIv, encrypt) != 1) {
        EVP_CIPHER_CTX_free(ctx);
        return -1;
    }
    *handle = reinterpret_cast<intptr_t>(ctx);
    return 0;
}

int Update(intptr_t handle, const unsigned char* in, int inLength, unsigned char* out, int* outLength) {
    auto* ctx = reinterpret_cast<EVP_CIPHER_CTX*>(handle);
    if (outLength) *outLength = 0;
    if (ctx == nullptr || inLength < 0 || outLength == nullptr) return -1;
    if (inLength == 0) return 0;
    return EVP_CipherUpdate(ctx, out, outLength, in, inLength) == 1 ? 0 : -1;
}

int Final(intptr_t handle) {
    EVP_CIPHER_CTX_free(reinterpret_cast<EVP_CIPHER_CTX*>(handle));
    return 0;
}

}  // namespace

int Mqk21EncryptInit(int, int, const unsigned char* key, int keyLength, intptr_t* handle) {
    return Init(key, keyLength, handle, 1);
}
int Mqk21DecryptInit(int, int, const unsigned char* key, int keyLength, intptr_t* handle) {
    return Init(key, keyLength, handle, 0);
}
int Mqk21EncryptUpdate(intptr_t h, const unsigned char* in, int n, unsigned char* out, int* outLength) {
    return Update(h, in, n, out, outLength);
}
int Mqk21DecryptUpdate(intptr_t h, const unsigned char* in, int n, unsigned char* out, int* outLength) {
    return Update(h, in, n, out, outLength);
}
int Mqk21EncryptFinal(intptr_t h) { return Final(h); }
int Mqk21DecryptFinal(intptr_t h) { return Final(h); }
