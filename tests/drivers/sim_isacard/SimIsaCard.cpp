// A simulated ISA encryption card for the tests: open, encrypt, decrypt and close over a real
// keyed stream cipher (AES-128-CTR under the 8-byte card key and its complement). It refuses
// lengths that are not whole 8-byte blocks, as the card does. A test forces the open result
// (0 no card, < 0 failure) and the status of the other operations, and reads how many cards are
// open and the lengths the engine passed.

#include <openssl/evp.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Sim {
    int openResult = 1;  // > 0: hand out handles
    std::map<std::string, int> forced;
    std::map<int, EVP_CIPHER_CTX*> cards;
    int nextHandle = 1;
    std::vector<int> lengths;  // every encrypt/decrypt length, in order
} sim;

int Forced(const char* entry) {
    auto it = sim.forced.find(entry);
    return it == sim.forced.end() ? 0 : it->second;
}

int Cipher(const char* entry, int handle, const unsigned char* in, int length, unsigned char* out, int* outLength) {
    sim.lengths.push_back(length);
    if (int s = Forced(entry)) return s;
    auto it = sim.cards.find(handle);
    if (it == sim.cards.end() || length <= 0 || length % 8 != 0 || outLength == nullptr) return -10;
    return EVP_CipherUpdate(it->second, out, outLength, in, length) == 1 ? 0 : -11;
}

}  // namespace

extern "C" {

void SimIsaSetOpenResult(int result) { sim.openResult = result; }
void SimIsaSetStatus(const char* entry, int status) { sim.forced[entry] = status; }
int SimIsaOpenCards() { return static_cast<int>(sim.cards.size()); }
int SimIsaLengthCount() { return static_cast<int>(sim.lengths.size()); }
int SimIsaLength(int index) { return sim.lengths.at(static_cast<size_t>(index)); }
void SimIsaReset() {
    for (auto& [handle, ctx] : sim.cards) EVP_CIPHER_CTX_free(ctx);
    sim = Sim();
}

int IsaCardOpen(const unsigned char* key, int keyLength) {
    if (sim.openResult <= 0) return sim.openResult;
    if (key == nullptr || keyLength != 8) return -1;
    unsigned char k[16], counter[16] = {};
    for (int i = 0; i < 8; ++i) {
        k[i] = key[i];
        k[8 + i] = static_cast<unsigned char>(~key[i]);
    }
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx || EVP_EncryptInit_ex(ctx, EVP_aes_128_ctr(), nullptr, k, counter) != 1) {
        EVP_CIPHER_CTX_free(ctx);
        return -2;
    }
    int handle = sim.nextHandle++;
    sim.cards[handle] = ctx;
    return handle;
}

int IsaCardEncrypt(int handle, const unsigned char* in, int length, unsigned char* out, int* outLength) {
    return Cipher("IsaCardEncrypt", handle, in, length, out, outLength);
}
int IsaCardDecrypt(int handle, const unsigned char* in, int length, unsigned char* out, int* outLength) {
    return Cipher("IsaCardDecrypt", handle, in, length, out, outLength);
}
int IsaCardClose(int handle) {
    auto it = sim.cards.find(handle);
    if (it != sim.cards.end()) {
        EVP_CIPHER_CTX_free(it->second);
        sim.cards.erase(it);
    }
    return Forced("IsaCardClose");
}

}  // extern "C"
