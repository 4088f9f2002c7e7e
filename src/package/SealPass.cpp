#include "package/SealPass.h"

#include <cstring>
#include <string>

#include "dialogs/MessagePump.h"
#include "engine/Korvane.h"
#include "formats/Messages.h"
#include "formats/PackagePaths.h"
#include "formats/PackageRecords.h"
#include "package/Messages.h"
#include "package/PackageWalker.h"
#include "package/ProgressReport.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

class Sealer {
public:
    Sealer(CKorvane& engine, char* baseFolder, char* workPath, CFile* package, const SealPlan& plan)
        : m_engine(engine),
          m_baseFolder(baseFolder),
          m_workPath(workPath),
          m_package(package),
          m_plan(plan),
          // A package with something after its contents (an envelope's signature trailer) stores
          // where that begins in the end record's 32-bit field: every content must end within it.
          m_stream(engine, plan.digest, ContentRules{.endIsOffset = static_cast<bool>(plan.finish)}) {}

    int ProtectHead() {
        EncryptFlag head;
        if (!PackageWalker::ReadPlainHead(m_engine, m_package, &head, m_baseFolder, m_workPath)) return 0;
        head.listLength = static_cast<int32_t>(m_package->GetLength() - kHeadSize);
        head.itemCount = m_plan.itemCount;
        return m_engine.WriteEncryptedFileHead(m_package, &head);
    }

    // Walks the record list from the current position to the end record.
    int SealRecords(ProgressReport* progress) {
        m_progress = progress;
        for (;;) {
            const uint64_t position = m_package->GetPosition();
            PackageRecord record;
            if (!ReadPlainRecord(m_engine.Records(), m_package, record)) return 0;
            switch (record.type) {
                case kRecordDirectory:
                    if (!EnterFolder(record.name) ||
                        !m_engine.fSeek(m_package, static_cast<long>(position), CFile::begin) ||
                        !SealDirectoryRecord(m_engine.Records(), m_package, record.name))
                        return 0;
                    break;
                case kRecordFile:
                    if (!SealFile(record, position)) return 0;
                    break;
                default:
                    return SealEnd(position);
            }
            DoEvents();
        }
    }

private:
    int EnterFolder(const std::string& stored) {
        std::string relative = FromStoredFolder(stored);
        if (std::strlen(m_baseFolder) + relative.size() >= kMaxPath) {
            ShowMessage(msg::formats::StructureError);
            return 0;
        }
        std::snprintf(m_workPath, kMaxPath, "%s%s", m_baseFolder, relative.c_str());
        return 1;
    }

    void Report(const std::string& path) {
        if (m_progress) m_progress->Report(m_done, m_plan.itemCount, path);
    }

    // Opens the source of a file record, asking to retry while it cannot be opened.
    static bool OpenSource(CFile& source, const std::string& path) {
        for (;;) {
            if (source.Open(path, CFile::modeRead | CFile::shareDenyNone)) return true;
            int answer = ShowMessage(msg::package::RetryOpen, path);
            if (answer != IDRETRY) return false;
            DoEvents();
        }
    }

    int SealFile(PackageRecord& record, uint64_t position) {
        std::string source = std::string(m_workPath) + record.name;
        Report(source);
        CFile file;
        if (!OpenSource(file, source)) return 0;
        // What is read from here on is this file as it is now: a caller that wipes it afterwards
        // proves against this that it wipes what the package holds.
        FileIdentity read;
        if (IdentityOf(file.Fd(), &read)) m_engine.m_sealedSources.push_back(read);
        ContentPlace place;
        if (!m_stream.Encrypt(*m_plan.key, file, m_package, &place)) return 0;
        unsigned long size = 0;
        if (!m_engine.GetFileStatus(&file, record.modified, record.created, &size, &record.attributes)) return 0;
        file.Abort();
        record.second = place.offset;
        record.contentLength = place.length;
        record.contentCrc = place.crc;
        record.size = static_cast<int32_t>(size);
        if (!m_engine.fSeek(m_package, static_cast<long>(position), CFile::begin) ||
            !SealFileRecord(m_engine.Records(), m_package, record))
            return 0;
        ++m_done;
        Report(source);
        return 1;
    }

    int SealEnd(uint64_t position) {
        // What follows the contents is the signature over their digest.
        m_stream.FinishDigest();
        int32_t second = 0;
        if (m_plan.finish) {
            if (!m_engine.fSeekToEnd(m_package) || !m_plan.finish(m_package, &second)) return 0;
        }
        return m_engine.fSeek(m_package, static_cast<long>(position), CFile::begin) &&
                       SealEndRecord(m_engine.Records(), m_package, second)
                   ? 1
                   : 0;
    }

    CKorvane& m_engine;
    char* m_baseFolder;
    char* m_workPath;
    CFile* m_package;
    const SealPlan& m_plan;
    ContentStream m_stream;
    ProgressReport* m_progress = nullptr;
    int m_done = 0;
};

}  // namespace

int SealPackage(CKorvane& engine, char* baseFolder, char* workPath, CFile* package, int recordStart,
                const SealPlan& plan) {
    engine.m_sealedSources.clear();
    // A length or position query that fails (the only file calls not made through the checked
    // I/O) throws to the guard of the encryption pass's entry, which shows it as a read error.
    Sealer sealer(engine, baseFolder, workPath, package, plan);
    if (!sealer.ProtectHead() || !engine.fSeek(package, recordStart, CFile::begin)) {
        SendMessageTo(plan.notifyWindow, WM_PROGRESS_END);
        DoEvents();
        DoEvents();
        return 0;
    }
    if (!plan.showProgress) return sealer.SealRecords(nullptr);
    ProgressReport progress(MessageText(msg::package::EncryptingTitle), MessageText(msg::package::Encrypting),
                            plan.notifyWindow, false);
    return sealer.SealRecords(&progress);
}
