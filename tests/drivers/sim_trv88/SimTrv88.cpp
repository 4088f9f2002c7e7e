// A simulated PCI data security card for the tests: the eight driver entry points over a real
// keyed stream cipher (AES-128-CTR, key 16 bytes, IV 8 bytes), at most 10 sessions at once as the
// card allows, and a status per entry point that a test can force through SimTrv88SetStatus.
// SimTrv88OpenSessions tells a test whether every session it caused was closed again.

#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "drivers/Trv88Driver.h"

namespace {

constexpr int kSlots = 10;

struct Sim {
    std::map<std::string, uint32_t> forced;
    int sessions = 0;
    EVP_CIPHER_CTX* ops[kSlots + 1] = {};  // handle 1..10
} sim;

uint32_t Forced(const char* entry) {
    auto it = sim.forced.find(entry);
    return it == sim.forced.end() ? 0 : it->second;
}

uint32_t OpInit(const char* entry, unsigned char* key, unsigned char* iv, int* handle, int encrypt) {
    if (uint32_t s = Forced(entry)) return s;
    if (key == nullptr || iv == nullptr || handle == nullptr) return 0x20C00001;
    for (int h = 1; h <= kSlots; ++h) {
        if (sim.ops[h]) continue;
        unsigned char counter[16] = {};
        std::memcpy(counter, iv, 8);
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        if (!ctx || EVP_CipherInit_ex(ctx, EVP_aes_128_ctr(), nullptr, key, counter, encrypt) != 1) {
            EVP_CIPHER_CTX_free(ctx);
            return 0x20C00002;
        }
        sim.ops[h] = ctx;
        *handle = h;
        return 0;
    }
    return kTrv88Busy;
}

uint32_t OpUpdate(const char* entry, unsigned char* buffer, int* length, int handle) {
    if (uint32_t s = Forced(entry)) return s;
    if (handle < 1 || handle > kSlots || !sim.ops[handle] || length == nullptr || *length < 0) return 0x20C00003;
    int produced = 0;
    if (*length > 0 && EVP_CipherUpdate(sim.ops[handle], buffer, &produced, buffer, *length) != 1) return 0x20C00004;
    *length = produced;
    return 0;
}

}  // namespace

extern "C" {

// ---- Test controls
void SimTrv88SetStatus(const char* entry, uint32_t status) { sim.forced[entry] = status; }
void SimTrv88Reset() {
    sim.forced.clear();
    sim.sessions = 0;
    for (auto& ctx : sim.ops) {
        EVP_CIPHER_CTX_free(ctx);
        ctx = nullptr;
    }
}
int SimTrv88OpenSessions() { return sim.sessions; }
int SimTrv88OpenOperations() {
    int n = 0;
    for (auto* ctx : sim.ops) n += ctx != nullptr;
    return n;
}

// ---- Driver entry points
uint32_t TRV88Init() {
    if (uint32_t s = Forced("TRV88Init")) return s;
    if (sim.sessions >= kSlots) return kTrv88Busy;
    ++sim.sessions;
    return 0;
}

uint32_t TRV88Final() {
    if (sim.sessions > 0) --sim.sessions;
    return Forced("TRV88Final");
}

uint32_t TRV88EncryptInit(unsigned char* key, unsigned char* iv, int* handle) {
    return OpInit("TRV88EncryptInit", key, iv, handle, 1);
}
uint32_t TRV88DecryptInit(unsigned char* key, unsigned char* iv, int* handle) {
    return OpInit("TRV88DecryptInit", key, iv, handle, 0);
}
uint32_t TRV88EncryptUpdate(unsigned char* buffer, int* length, int handle) {
    return OpUpdate("TRV88EncryptUpdate", buffer, length, handle);
}
uint32_t TRV88DecryptUpdate(unsigned char* buffer, int* length, int handle) {
    return OpUpdate("TRV88DecryptUpdate", buffer, length, handle);
}

// Ends the operation of either direction.
uint32_t TRV88EncryptFinal(unsigned char*, int*, int handle) {
    if (handle >= 1 && handle <= kSlots) {
        EVP_CIPHER_CTX_free(sim.ops[handle]);
        sim.ops[handle] = nullptr;
    }
    return Forced("TRV88EncryptFinal");
}

#ifndef SIM_TRV88_WITHOUT_DECRYPT_FINAL
uint32_t TRV88DecryptFinal(unsigned char*, int*, int) { return 0x20C00005; }  // never called by the engine
#endif

}  // extern "C"
