// The encryption pass of a password package: protects the head, then walks the plain record
// list, appends each file's ciphertext at the end of the package and rewrites each record in
// place, enciphered, with the content's offset, length, times, size, attributes and CRCs.

#include <climits>
#include <cstring>

#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "formats/PackageRecords.h"
#include "formats/ProtectedFields.h"
#include "password/OpenCipher.h"
#include "password/PackagePaths.h"
#include "password/ProgressReport.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/MessagePump.h"

namespace {

const char kTooLarge[] = "加密文件包太大(已超过1.5GB)，Ferrow停止加密。";

}  // namespace

// Opens the source of a file record, asking to retry while it cannot be opened.
bool CKorvane::OpenSourceWithRetry(CFile& source, const std::string& path) {
    for (;;) {
        if (source.Open(path, CFile::modeRead | CFile::shareDenyNone)) return true;
        int answer =
            AfxMessageBox(Format("不能打开文件\"%s\"，可能文件正在被使用或者您没有该文件的读权限.", path.c_str()),
                          MB_RETRYCANCEL | MB_ICONEXCLAMATION);
        if (answer != IDRETRY) return false;
        DoEvents();
    }
}

// Streams one source file through the cipher to the end of the package. Sets the content
// offset, length and CRC. Every failure has shown its message when this returns 0.
int CKorvane::EncryptFileContent(CFile* package, CFile& source, int32_t* offset, int32_t* length,
                                 uint16_t* contentCrc) {
    OpenCipher cipher(*this, OpenCipher::kEncrypt);
    if (!fSeekToEnd(package)) return 0;
    uint64_t start = package->GetPosition();
    uint64_t size = source.GetLength();
    if (!ContentFits(static_cast<int64_t>(start), size)) {
        AfxMessageBox(kTooLarge);
        return 0;
    }
    unsigned char* in = BlockIn();
    unsigned char* out = BlockOut();
    uint16_t crc = 0xFFFF;
    uint64_t total = 0;
    for (;;) {
        unsigned long got = 0;
        if (!fReadBuf(&source, in, kStreamBlockSize, &got, 0)) return 0;
        if (got > 0) {
            int produced = 0;
            if (!Evp_EncryptUpdate(out, &produced, in, static_cast<int>(got))) return 0;
            total += static_cast<uint64_t>(produced);
            // The source may have grown since its size was checked.
            if (total > static_cast<uint64_t>(INT32_MAX)) {
                AfxMessageBox(kTooLarge);
                return 0;
            }
            crc = Crc16Update(crc, out, static_cast<size_t>(produced));
            if (!fWriteBuf(package, out, static_cast<unsigned long>(produced))) return 0;
        }
        if (got < kStreamBlockSize) break;
        DoEvents();
    }
    int produced = 0;
    cipher.Finished();
    if (!Evp_EncryptFinalEx(out, &produced)) return 0;
    if (produced > 0) {
        total += static_cast<uint64_t>(produced);
        if (total > static_cast<uint64_t>(INT32_MAX)) {
            AfxMessageBox(kTooLarge);
            return 0;
        }
        crc = Crc16Update(crc, out, static_cast<size_t>(produced));
        if (!fWriteBuf(package, out, static_cast<unsigned long>(produced))) return 0;
    }
    *offset = static_cast<int32_t>(start);
    *length = static_cast<int32_t>(total);
    *contentCrc = Crc16Final(crc);
    return 1;
}

// Sets the list length and item count, protects the head and rewrites it at offset 0.
int CKorvane::ProtectPackageHead(CFile* package, int itemCount) {
    EncryptFlag head;
    if (!ReadPlainPackageHead(package, &head)) return 0;
    head.listLength = static_cast<int32_t>(package->GetLength() - kHeadSize);
    head.itemCount = itemCount;
    return WriteEncryptedFileHead(package, &head);
}

// Rewrites one plain file record at `position` in its final form, after appending the file's
// ciphertext. The record's type and second field have been read.
int CKorvane::EncryptFileRecord(CFile* package, uint64_t position, const Encrypt_Data& data, int* done,
                                ProgressReport& progress) {
    int32_t nameLength = 0;
    unsigned long got = 0;
    if (!fReadBuf(package, &nameLength, 4, &got, 1)) return 0;
    if (nameLength <= 0 || static_cast<size_t>(nameLength) >= kRecordNameCap) {
        AfxMessageBox(kStructureError);
        return 0;
    }
    std::string name(static_cast<size_t>(nameLength), '\0');
    if (!fReadBuf(package, name.data(), name.size(), &got, 1)) return 0;
    std::string source = m_workPath + name;

    progress.Report(*done, data.itemCount, source);
    CFile file;
    if (!OpenSourceWithRetry(file, source)) return 0;
    // Initialised once the source is open: every later way out passes through the final.
    if (!Evp_EncryptInit(data.key, data.iv, data.cipherId)) return 0;
    int32_t offset = 0, length = 0;
    uint16_t contentCrc = 0;
    if (!EncryptFileContent(package, file, &offset, &length, &contentCrc)) return 0;
    char modified[15] = {}, created[15] = {};
    unsigned long size = 0;
    unsigned char attributes = 0;
    if (!GetFileStatus(&file, modified, created, &size, &attributes)) return 0;
    file.Abort();

    if (!fSeek(package, static_cast<long>(position), CFile::begin)) return 0;
    ProtectedWriter record(*this, package);
    const int32_t storedSize = static_cast<int32_t>(size);
    if (!(record.I32(kRecordFile) && record.I32(offset) && record.I32(nameLength) &&
          record.Field(name.data(), name.size()) && record.I32(length) && record.Field(modified, kTimeTextSize) &&
          record.Field(created, kTimeTextSize) && record.I32(storedSize) && record.U8(attributes) &&
          record.U16(contentCrc) && record.Finish()))
        return 0;
    ++*done;
    progress.Report(*done, data.itemCount, source);
    return 1;
}

// Walks the record list from the current position to the end-of-head record.
int CKorvane::EncryptRecordList(CFile* package, const Encrypt_Data& data, ProgressReport& progress) {
    int done = 0;
    for (;;) {
        uint64_t position = package->GetPosition();
        int32_t type = 0, second = 0;
        unsigned long got = 0;
        if (!fReadBuf(package, &type, 4, &got, 1) || !fReadBuf(package, &second, 4, &got, 1)) return 0;
        if (type & kRecordBitDirectory) {
            int32_t nameLength = 0;
            if (!fReadBuf(package, &nameLength, 4, &got, 1)) return 0;
            if (nameLength < 0 || static_cast<size_t>(nameLength) >= kRecordNameCap) {
                AfxMessageBox(kStructureError);
                return 0;
            }
            std::string name(static_cast<size_t>(nameLength), '\0');
            if (!fReadBuf(package, name.data(), name.size(), &got, 1)) return 0;
            if (!EnterFolder(FromStoredFolder(name))) return 0;
            if (!fSeek(package, static_cast<long>(position), CFile::begin)) return 0;
            ProtectedWriter record(*this, package);
            if (!(record.I32(type) && record.I32(second) && record.I32(nameLength) &&
                  record.Field(name.data(), name.size()) && record.Finish()))
                return 0;
        } else if (type & kRecordBitFile) {
            if (!EncryptFileRecord(package, position, data, &done, progress)) return 0;
        } else if (type & kRecordBitEndOfHead) {
            if (!fSeek(package, static_cast<long>(position), CFile::begin)) return 0;
            ProtectedWriter record(*this, package);
            return record.I32(type) && record.I32(second) && record.Finish() ? 1 : 0;
        } else {
            AfxMessageBox(kStructureError);
            return 0;
        }
        DoEvents();
    }
}

int CKorvane::SymmtryEncryptFiles(CFile* package, int recordStart, const Encrypt_Data& data) {
    if (package == nullptr) return 0;
    try {
        if (!ProtectPackageHead(package, data.itemCount) || !fSeek(package, recordStart, CFile::begin)) {
            SendMessageTo(data.notifyWindow, WM_PROGRESS_END);
            DoEvents();
            DoEvents();
            return 0;
        }
        ProgressReport progress("加密文件", "正在加密文件...", data.notifyWindow, false);
        return EncryptRecordList(package, data, progress);
    } catch (const CFileException& e) {
        // Length and position queries are the only file calls not made through the checked I/O.
        ShowReadError(e);
        return 0;
    }
}
