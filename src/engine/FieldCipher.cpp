// The field cipher: every head and record field is enciphered separately and in place before
// it is written, through the cipher driver with the engine's fixed field key. The name cipher is
// the same with a caller's key laid over the field key.

#include <openssl/crypto.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "drivers/Mqk21.h"
#include "engine/CheckedRecordIo.h"
#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "platform/MessageBox.h"

namespace {

// One driver session over `length` bytes; on any failure `out` holds the input unchanged.
int DriverPass(bool encrypt, int alg, int mode, const unsigned char* key, const char* in, int length, char* out,
               const MessageDef& message) {
    if (length < 0 || (length > 0 && (in == nullptr || out == nullptr))) {
        ShowMessage(message);
        return 0;
    }
    // The input may be key material (the check value of old packages is keyed by its input).
    SecretBytes scratch(in, in + length);
    intptr_t handle = 0;
    int rc = encrypt ? Mqk21EncryptInit(alg, mode, key, 16, &handle) : Mqk21DecryptInit(alg, mode, key, 16, &handle);
    if (rc != 0) {
        ShowMessage(message);
        if (length > 0) std::memmove(out, scratch.data(), scratch.size());
        return 0;
    }
    int produced = 0;
    auto* dest = reinterpret_cast<unsigned char*>(out);
    rc = encrypt ? Mqk21EncryptUpdate(handle, scratch.data(), length, dest, &produced)
                 : Mqk21DecryptUpdate(handle, scratch.data(), length, dest, &produced);
    encrypt ? Mqk21EncryptFinal(handle) : Mqk21DecryptFinal(handle);
    if (rc != 0 || produced != length) {
        ShowMessage(message);
        if (length > 0) std::memmove(out, scratch.data(), scratch.size());
        return 0;
    }
    return 1;
}

}  // namespace

const unsigned char kFieldKey[16] = {0x5A, 0x91, 0x3C, 0xE7, 0x08, 0xB4, 0x6F, 0x21,
                                     0xD3, 0x47, 0x9E, 0x12, 0xC8, 0x75, 0x2B, 0xF0};

bool CheckedRecordIo::Encipher(const char* in, int length, char* out) {
    if (in == nullptr || out == nullptr) return false;
    return DriverPass(true, kFieldCipherAlg, kFieldCipherMode, kFieldKey, in, length, out,
                      msg::engine::FieldEncryptFailed) == 1;
}

bool CheckedRecordIo::Decipher(const char* in, int length, char* out) {
    if (in == nullptr || out == nullptr) return false;
    return DriverPass(false, kFieldCipherAlg, kFieldCipherMode, kFieldKey, in, length, out,
                      msg::engine::FieldDecryptFailed) == 1;
}

bool CheckedRecordIo::Seal(void* field, size_t length) {
    auto* bytes = static_cast<char*>(field);
    return Encipher(bytes, length > INT_MAX ? -1 : static_cast<int>(length), bytes);
}

bool CheckedRecordIo::Unseal(void* field, size_t length) {
    auto* bytes = static_cast<char*>(field);
    return Decipher(bytes, length > INT_MAX ? -1 : static_cast<int>(length), bytes);
}

int CKorvane::SerialEncrypt(const char* in, int length, char* out) try {
    EngineCall call(m_context);
    return m_records.Encipher(in, length, out) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::SerialDecrypt(const char* in, int length, char* out) try {
    EngineCall call(m_context);
    return m_records.Decipher(in, length, out) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::SerialEncryptKey(const char* in, int length, char* out) try {
    EngineCall call(m_context);
    if (in == nullptr || out == nullptr) return 0;
    unsigned char key[16] = {};
    if (in != nullptr && length > 0) std::memcpy(key, in, static_cast<size_t>(std::min(length, 16)));
    return DriverPass(true, m_fieldCipherAlg, m_fieldCipherMode, key, in, length, out, msg::engine::FieldEncryptFailed);
} catch (...) {
    return EntryFailed(m_context, 0);
}

namespace {

// The driver key of the name cipher: the field key with up to 16 bytes of the caller's key over it.
void NameKey(const unsigned char* fieldKey, const unsigned char* key, int keyLength, unsigned char out[16]) {
    std::memcpy(out, fieldKey, 16);
    if (key != nullptr && keyLength > 0) std::memcpy(out, key, static_cast<size_t>(std::min(keyLength, 16)));
}

}  // namespace

int CKorvane::EncryptFileName(const unsigned char* key, int keyLength, const unsigned char* in, int length,
                              unsigned char* out) {
    unsigned char driverKey[16];
    NameKey(m_fieldKey, key, keyLength, driverKey);
    int ok = DriverPass(true, m_fieldCipherAlg, m_fieldCipherMode, driverKey, reinterpret_cast<const char*>(in), length,
                        reinterpret_cast<char*>(out), msg::engine::FieldEncryptFailed);
    OPENSSL_cleanse(driverKey, sizeof driverKey);
    return ok;
}

int CKorvane::DecryptFileName(const unsigned char* key, int keyLength, const unsigned char* in, int length,
                              unsigned char* out) {
    unsigned char driverKey[16];
    NameKey(m_fieldKey, key, keyLength, driverKey);
    int ok = DriverPass(false, m_fieldCipherAlg, m_fieldCipherMode, driverKey, reinterpret_cast<const char*>(in),
                        length, reinterpret_cast<char*>(out), msg::engine::FieldEncryptFailed);
    OPENSSL_cleanse(driverKey, sizeof driverKey);
    return ok;
}
