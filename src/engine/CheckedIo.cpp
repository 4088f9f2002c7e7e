// Checked file I/O: every read, write and seek on a secured file goes through these, which turn
// a file error into one message and a 0 result, so walkers can call, test for 0 and stop.

#include <cstring>

#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

// The system's text for a file error, cut to the room the messages give it.
std::string ErrorText(const CFileException& e) {
    char text[101];
    e.GetErrorMessage(text, sizeof text);
    return text;
}

}  // namespace

int CKorvane::fReadBuf(CFile* file, void* buffer, unsigned long count, unsigned long* bytesRead, int exact) {
    unsigned long got = 0;
    if (file == nullptr || (buffer == nullptr && count > 0)) {
        if (bytesRead) *bytesRead = 0;
        return 0;
    }
    try {
        got = file->Read(buffer, static_cast<unsigned>(count));
    } catch (const CFileException& e) {
        if (bytesRead) *bytesRead = 0;
        ShowReadError(e);
        return 0;
    }
    if (bytesRead) *bytesRead = got;
    if (exact && got != count) {
        ShowShortRead();
        return 0;
    }
    return 1;
}

int CKorvane::fWriteBuf(CFile* file, const void* buffer, unsigned long count) {
    if (file == nullptr || (buffer == nullptr && count > 0)) return 0;
    try {
        file->Write(buffer, static_cast<unsigned>(count));
    } catch (const CFileException& e) {
        ShowWriteError(e);
        return 0;
    }
    return 1;
}

namespace {

template <typename Fn>
int CheckedSeek(CFile* file, Fn&& seek) {
    if (file == nullptr) return 0;
    try {
        seek();
    } catch (const CFileException& e) {
        ShowMessage(msg::engine::SeekFailed, ErrorText(e));
        return 0;
    }
    return 1;
}

}  // namespace

int CKorvane::fSeek(CFile* file, long offset, unsigned origin) {
    return CheckedSeek(file, [&] { file->Seek(offset, origin); });
}

int CKorvane::fSeekToEnd(CFile* file) {
    return CheckedSeek(file, [&] { file->SeekToEnd(); });
}

int CKorvane::fSeekToBegin(CFile* file) {
    return CheckedSeek(file, [&] { file->SeekToBegin(); });
}

int CKorvane::AddEndofHead(CFile* package) {
    const int32_t type = 4, second = 0;
    const uint16_t crc = 0;
    return fWriteBuf(package, &type, sizeof type) && fWriteBuf(package, &second, sizeof second) &&
           fWriteBuf(package, &crc, sizeof crc);
}

void CKorvane::ShowShortRead() { ShowMessage(msg::engine::ShortRead); }

void CKorvane::ShowReadError(const CFileException& error) { ShowMessage(msg::engine::ReadFailed, ErrorText(error)); }

void CKorvane::ShowWriteError(const CFileException& error) { ShowMessage(msg::engine::WriteFailed, ErrorText(error)); }

int CKorvane::OpenForReading(const char* path, CFile& file, int showErrors) {
    CFileException error;
    if (path != nullptr && file.Open(path, CFile::modeRead | CFile::shareDenyNone, &error)) return 1;
    if (showErrors) {
        char text[141];
        error.GetErrorMessage(text, sizeof text);
        ShowMessage(msg::engine::OpenFailed, text);
    }
    return 0;
}

unsigned char* CKorvane::BlockIn() {
    if (!m_blockIn) m_blockIn = std::make_unique_for_overwrite<unsigned char[]>(kStreamBlockSize);
    return m_blockIn.get();
}
