#include "package/ContentStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "dialogs/MessagePump.h"
#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "formats/PackageRecords.h"
#include "package/OpenCipher.h"
#include "platform/MessageBox.h"
#include "platform/UiHost.h"

ContentKey::ContentKey(const Encrypt_Data& data) : cipherId(data.cipherId) {
    std::memcpy(key, data.key, sizeof key);
    std::memcpy(iv, data.iv, sizeof iv);
}

namespace {

const char kTooLarge[] = "加密文件包太大(已超过1.5GB)，Ferrow停止加密。";
// A card may release a block held back from the previous update.
constexpr size_t kOutSlack = 64;

}  // namespace

ContentStream::ContentStream(CKorvane& engine, Digest digest)
    : m_engine(engine),
      m_digest(digest),
      m_in(std::make_unique_for_overwrite<unsigned char[]>(kStreamBlockSize)),
      m_out(std::make_unique_for_overwrite<unsigned char[]>(kStreamBlockSize + kOutSlack)) {}

ContentStream::~ContentStream() {
    // Plaintext passed through both buffers.
    OPENSSL_cleanse(m_in.get(), kStreamBlockSize);
    OPENSSL_cleanse(m_out.get(), kStreamBlockSize + kOutSlack);
}

void ContentStream::Feed(const unsigned char* plain, int length) {
    if (length <= 0) return;
    if (m_digest == Digest::kSign) m_engine.Evp_SignUpdate(plain, static_cast<unsigned>(length));
    if (m_digest == Digest::kVerify) m_engine.Evp_VerifyUpdate(plain, static_cast<unsigned>(length));
}

int ContentStream::Encrypt(const ContentKey& key, CFile& source, CFile* package, ContentPlace* place) {
    if (!m_engine.fSeekToEnd(package)) return 0;
    const uint64_t start = package->GetPosition();
    const uint64_t size = source.GetLength();
    if (!ContentFits(static_cast<int64_t>(start), size)) {
        AfxMessageBox(kTooLarge);
        return 0;
    }
    if (!m_engine.Evp_EncryptInit(key.key, key.iv, key.cipherId)) return 0;
    OpenCipher cipher(m_engine, OpenCipher::kEncrypt);
    unsigned char* in = m_in.get();
    unsigned char* out = m_out.get();
    uint16_t crc = 0xFFFF;
    uint64_t total = 0;
    for (;;) {
        unsigned long got = 0;
        if (!m_engine.fReadBuf(&source, in, kStreamBlockSize, &got, 0)) return 0;
        if (got > 0) {
            Feed(in, static_cast<int>(got));
            int produced = 0;
            if (!m_engine.Evp_EncryptUpdate(out, &produced, in, static_cast<int>(got))) return 0;
            total += static_cast<uint64_t>(produced);
            // The source may have grown since its size was checked.
            if (total > static_cast<uint64_t>(INT32_MAX)) {
                AfxMessageBox(kTooLarge);
                return 0;
            }
            crc = Crc16Update(crc, out, static_cast<size_t>(produced));
            if (!m_engine.fWriteBuf(package, out, static_cast<unsigned long>(produced))) return 0;
        }
        UiHost().WorkDone(got);
        if (got < kStreamBlockSize) break;
        DoEvents();
    }
    int produced = 0;
    cipher.Finished();
    if (!m_engine.Evp_EncryptFinalEx(out, &produced)) return 0;
    if (produced > 0) {
        total += static_cast<uint64_t>(produced);
        if (total > static_cast<uint64_t>(INT32_MAX)) {
            AfxMessageBox(kTooLarge);
            return 0;
        }
        crc = Crc16Update(crc, out, static_cast<size_t>(produced));
        if (!m_engine.fWriteBuf(package, out, static_cast<unsigned long>(produced))) return 0;
    }
    place->offset = static_cast<int32_t>(start);
    place->length = static_cast<int32_t>(total);
    place->crc = Crc16Final(crc);
    return 1;
}

int ContentStream::Decrypt(const ContentKey& key, CFile* package, const ContentPlace& place, CFile* output,
                           uint16_t* crcOut) {
    if (!m_engine.Evp_DecryptInit(key.key, key.iv, key.cipherId)) return 0;
    OpenCipher cipher(m_engine, OpenCipher::kDecrypt);
    if (!m_engine.fSeek(package, place.offset, CFile::begin)) return 0;
    unsigned char* in = m_in.get();
    unsigned char* out = m_out.get();
    uint16_t crc = 0xFFFF;
    int produced = 0;
    for (int64_t left = place.length; left > 0;) {
        unsigned long want = static_cast<unsigned long>(std::min<int64_t>(left, kStreamBlockSize)), got = 0;
        if (!m_engine.fReadBuf(package, in, want, &got, 0)) return 0;
        if (got < want) {
            AfxMessageBox("加密文件损坏, 不能正确解密-6.");
            return 0;
        }
        crc = Crc16Update(crc, in, got);
        if (!m_engine.Evp_DecryptUpdate(out, &produced, in, static_cast<int>(got))) return 0;
        Feed(out, produced);
        if (output && !m_engine.fWriteBuf(output, out, static_cast<unsigned long>(produced))) return 0;
        left -= static_cast<int64_t>(got);
        UiHost().WorkDone(got);
        DoEvents();
    }
    cipher.Finished();
    if (!m_engine.Evp_DecryptFinal(out, &produced)) return 0;
    Feed(out, produced);
    if (output && produced > 0 && !m_engine.fWriteBuf(output, out, static_cast<unsigned long>(produced))) return 0;
    *crcOut = Crc16Final(crc);
    return 1;
}
