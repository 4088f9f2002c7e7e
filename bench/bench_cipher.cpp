// The cipher frame's bulk update in 307,200-byte blocks, beside the raw library cipher it runs
// on, measured in the same run; OpenSSL's DES and triple DES for reference. "keystream" is the
// floor of a single-file pass: the raw IDEA-OFB key stream over VARNEX_BENCH_MIB MiB (default
// 256) once, timed in one process beside whole-process runs (bench/compare).

#include <gcrypt.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Bench.h"
#include "engine/Korvane.h"

namespace {

constexpr size_t kBlock = 307200;

struct Cipher {
    int id;
    const char* name;
    int gcryAlgorithm;
    size_t gcryKeyLength;
    const char* openssl;  // null: not in OpenSSL here
};

void BenchCipher() {
    static const Cipher kCiphers[] = {
        {45, "DES-OFB", GCRY_CIPHER_DES, 8, "DES-OFB"},
        {46, "IDEA-OFB", GCRY_CIPHER_IDEA, 16, nullptr},
        {62, "DES-EDE-OFB (K1 K2 K1)", GCRY_CIPHER_3DES, 24, "DES-EDE-OFB"},
    };
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    std::vector<unsigned char> in(kBlock), out(kBlock + 8);
    for (size_t i = 0; i < kBlock; ++i) in[i] = static_cast<unsigned char>(i * 131 + 17);
    unsigned char key[24], iv[8];
    for (size_t i = 0; i < sizeof key; ++i) key[i] = static_cast<unsigned char>(0x5c + 7 * i);
    std::memcpy(key + 16, key, 8);
    std::memset(iv, 0x33, sizeof iv);

    for (const Cipher& c : kCiphers) {
        CKorvane engine;
        engine.Evp_EncryptInit(key, iv, c.id);  // the frame's first init also readies the library
        gcry_cipher_hd_t raw = nullptr;
        gcry_cipher_open(&raw, c.gcryAlgorithm, GCRY_CIPHER_MODE_OFB, 0);
        gcry_cipher_ctl(raw, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
        gcry_cipher_setkey(raw, key, c.gcryKeyLength);
        gcry_cipher_setiv(raw, iv, 8);

        int n = 0;
        // Alternate the two so that neither profits from a warmer machine.
        double frame = 0, library = 0;
        for (int i = 0; i < 3; ++i) {
            library +=
                MeasureMBps([&] { gcry_cipher_encrypt(raw, out.data(), kBlock, in.data(), kBlock); }, kBlock, 0.4);
            frame += MeasureMBps([&] { engine.Evp_EncryptUpdate(out.data(), &n, in.data(), static_cast<int>(kBlock)); },
                                 kBlock, 0.4);
        }
        frame /= 3;
        library /= 3;
        gcry_cipher_close(raw);
        std::printf(" %d %s\n", c.id, c.name);
        PrintRate("libgcrypt, raw", library);
        PrintRatio("Evp_EncryptUpdate", frame, library);

        if (c.openssl && legacy && base) {
            EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, c.openssl, nullptr);
            EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
            if (cipher && ctx && EVP_EncryptInit_ex(ctx, cipher, nullptr, key, iv) == 1) {
                double ossl = MeasureMBps(
                    [&] { EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(kBlock)); }, kBlock, 0.5);
                PrintRatio("OpenSSL, for reference", ossl, library);
            }
            EVP_CIPHER_CTX_free(ctx);
            EVP_CIPHER_free(cipher);
        }
    }
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (base) OSSL_PROVIDER_unload(base);
}

void BenchKeyStream() {
    const char* mib = std::getenv("VARNEX_BENCH_MIB");
    const long size = (mib && std::atol(mib) > 0 ? std::atol(mib) : 256) << 20;
    std::vector<unsigned char> in(kBlock), out(kBlock);
    unsigned char key[16], iv[8];
    for (size_t i = 0; i < sizeof key; ++i) key[i] = static_cast<unsigned char>(0x5c + 7 * i);
    std::memset(iv, 0x33, sizeof iv);
    gcry_check_version(nullptr);
    gcry_cipher_hd_t raw = nullptr;
    if (gcry_cipher_open(&raw, GCRY_CIPHER_IDEA, GCRY_CIPHER_MODE_OFB, 0) != 0) return;
    gcry_cipher_setkey(raw, key, sizeof key);
    gcry_cipher_setiv(raw, iv, sizeof iv);
    gcry_cipher_encrypt(raw, out.data(), kBlock, in.data(), kBlock);  // warm up
    const auto start = std::chrono::steady_clock::now();
    for (long done = 0; done < size; done += static_cast<long>(kBlock)) {
        const size_t now = static_cast<size_t>(std::min<long>(static_cast<long>(kBlock), size - done));
        gcry_cipher_encrypt(raw, out.data(), now, in.data(), now);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    gcry_cipher_close(raw);
    std::printf("  IDEA-OFB raw key stream over %ld MiB: %.3f s (%.1f MB/s)\n", size >> 20, seconds,
                static_cast<double>(size) / seconds / 1e6);
}

}  // namespace

VARNEX_BENCH("cipher", BenchCipher);
VARNEX_BENCH("keystream", BenchKeyStream);
