// Checked file I/O: every read, write and seek on a secured file goes through these, which turn
// a file error into one message and a 0 result, so walkers can call, test for 0 and stop.

#include <cstring>

#include "engine/CheckedRecordIo.h"
#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "formats/PackageRecords.h"
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

bool CheckedRecordIo::Read(CFile* file, void* buffer, size_t count, size_t* got, bool exact) {
    if (got) *got = 0;
    if (file == nullptr || (buffer == nullptr && count > 0)) return false;
    size_t read = 0;
    try {
        read = file->Read(buffer, static_cast<unsigned>(count));
    } catch (const CFileException& e) {
        CKorvane::ShowReadError(e);
        return false;
    }
    if (got) *got = read;
    if (exact && read != count) {
        CKorvane::ShowShortRead();
        return false;
    }
    return true;
}

bool CheckedRecordIo::Write(CFile* file, const void* buffer, size_t count) {
    if (file == nullptr || (buffer == nullptr && count > 0)) return false;
    try {
        file->Write(buffer, static_cast<unsigned>(count));
    } catch (const CFileException& e) {
        CKorvane::ShowWriteError(e);
        return false;
    }
    return true;
}

void CheckedRecordIo::ShowShortRead() { CKorvane::ShowShortRead(); }

void CheckedRecordIo::ShowReadError(const CFileException& error) { CKorvane::ShowReadError(error); }

int CKorvane::fReadBuf(CFile* file, void* buffer, unsigned long count, unsigned long* bytesRead, int exact) try {
    EngineCall call(m_context);
    size_t got = 0;
    const bool ok = m_records.Read(file, buffer, count, &got, exact != 0);
    if (bytesRead) *bytesRead = got;
    return ok ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::fWriteBuf(CFile* file, const void* buffer, unsigned long count) try {
    EngineCall call(m_context);
    return m_records.Write(file, buffer, count) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
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

bool CheckedRecordIo::Seek(CFile* file, int64_t offset, unsigned origin) {
    return CheckedSeek(file, [&] { file->Seek(offset, origin); }) == 1;
}

int CKorvane::fSeek(CFile* file, long offset, unsigned origin) try {
    EngineCall call(m_context);
    return m_records.Seek(file, offset, origin) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::fSeekToEnd(CFile* file) try {
    EngineCall call(m_context);
    return m_records.Seek(file, 0, CFile::end) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::fSeekToBegin(CFile* file) try {
    EngineCall call(m_context);
    return m_records.Seek(file, 0, CFile::begin) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::AddEndofHead(CFile* package) try {
    EngineCall call(m_context);
    return WritePlainEndRecord(m_records, package) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
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
