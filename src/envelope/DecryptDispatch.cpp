// Decryption of a batch of secured files of any kind: each file goes to the decryptor of its
// kind; a package restored successfully is wiped unless the settings (or the caller) keep it;
// the batch ends with one summary of what was skipped and, when configured, the list of what
// was restored.

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dialogs/FileListDialog.h"
#include "dialogs/MessagePump.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "drivers/Scrubber.h"
#include "engine/Korvane.h"
#include "engine/Options.h"
#include "envelope/Messages.h"
#include "formats/EncryptFlag.h"
#include "logon/ILogon.h"
#include "package/Messages.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Overwrite.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"

namespace {

std::vector<std::string> SplitList(const char* list) {
    std::vector<std::string> paths;
    for (const char* p = list; p && *p; p += std::strlen(p) + 1) paths.emplace_back(p);
    return paths;
}

// Paths of the decrypted-files list ("path|path|..."), from byte `from` on.
std::vector<std::string> RestoredSince(const CMemFile& list, uint64_t from) {
    std::string text(reinterpret_cast<const char*>(list.Data()) + from, list.GetLength() - from);
    std::vector<std::string> paths;
    for (size_t start = 0, bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
        paths.push_back(text.substr(start, bar - start));
    return paths;
}

// Makes every restored file durable before its package is wiped, so that a crash right after
// the wipe loses nothing: one flush of each file system the files landed on (their data and
// the renames that put them in place).
void FlushRestored(const std::vector<std::string>& paths) {
    std::set<decltype(FileIdentity::device)> flushed;
    for (const std::string& path : paths) {
        PathInfo info;
        if (!LookUpPath(path, &info, false) || flushed.count(info.identity.device)) continue;
        if (FlushFileSystemOf(path)) flushed.insert(info.identity.device);
    }
}

size_t CountRestored(const CMemFile& list) { return RestoredSince(list, 0).size(); }

}  // namespace

int CKorvane::DecryptFileA(const char* fileList, HWND notifyWindow) try {
    EngineCall call(m_context);
    return DispatchDecryption(fileList, notifyWindow, 0, false);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::KeloDecryptFile(const char* fileList, HWND notifyWindow, int direct) try {
    EngineCall call(m_context);
    return DispatchDecryption(fileList, notifyWindow, direct, true);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::DispatchDecryption(const char* fileList, HWND notifyWindow, int direct, bool kelo) {
    const bool wipe = !m_keepPackages && LogonEqualNoCase(ReadOption("Option", "DkeptFile", "FALSE"), "FALSE");
    const bool showList = OptionIsTrue("Option", "DispDecryptResult", "FALSE");
    (void)std::atoi(ReadOption("Option", "WriteTimes", "3").c_str());  // read, not applied
    const std::vector<std::string> paths = SplitList(fileList);
    const bool several = paths.size() > 1;

    m_passwordKnown = 0;
    m_batchSuccess = 1;
    // The list holds this batch's files only; it stays readable after the batch (summaries).
    m_decryptedFiles.SetLength(0);
    m_packageSenders.clear();
    m_wipedPackages.clear();
    m_batchIncomplete = false;
    m_batchPassword.clear();
    int result = 1;
    bool stopped = false;

    std::unique_ptr<CDlgProgress> window;
    if (kelo && several)
        window = std::make_unique<CDlgProgress>(MessageText(msg::package::DecryptingTitle),
                                                MessageText(msg::package::Decrypting));
    auto report = [&](size_t i) {
        if (!window) return;
        ProgressPayload payload{};
        payload.percent = static_cast<int32_t>(static_cast<double>(i) * 100.0 / static_cast<double>(paths.size()));
        std::snprintf(payload.path, sizeof payload.path, "%s", paths[std::min(i, paths.size() - 1)].c_str());
        SendMessageTo(window.get(), WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&payload));
        SendMessageTo(notifyWindow, WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&payload));
        DoEvents();
    };

    // Messages about one file of the batch name it, where a host prints messages as lines.
    const std::string subject = UiHost().Subject();
    for (size_t i = 0; i < paths.size(); ++i) {
        report(i);
        const std::string& path = paths[i];
        UiHost().SetSubject(path);
        if (path.size() >= kMaxPath) {
            ShowMessage(msg::envelope::NotSecuredFile, path);
            result = 0;
            report(i + 1);
            continue;
        }
        EncryptFlag head;
        const uint64_t listBefore = m_decryptedFiles.GetLength();
        int done = 0;
        bool envelope = false;
        // What the name led to before the restore: the file wiped after it must be that one, not
        // one put in its place meanwhile.
        PathInfo before;
        if (!LookUpPath(path, &before, false)) before = {};
        m_packageShortfall.clear();
        m_packageIncomplete = false;
        if (!GetEncryptedFileHead(path.c_str(), &head, 1)) {
            done = 0;
        } else if (head.kind == kKindPassword) {
            done = SymmtryDecryptFiles(path.c_str(), notifyWindow, kelo ? direct : 0, several ? 1 : 0);
        } else if (head.kind == kKindEnvelope || head.kind == kKindShared) {
            envelope = true;
            done = EnvelopDecryptFiles(path.c_str(), notifyWindow, kelo ? direct : 0, several ? 1 : 0);
        } else {
            ShowMessage(msg::envelope::NotSecuredFile, path);
        }
        // Cancelled at the replace question: the rest of the batch is left alone.
        if (done == -1) {
            result = 0;
            stopped = true;
            break;
        }
        // Only a complete restore counts: a stopped one must never cost the package, nor one
        // that went on past a file it did not bring back (its result stands for the caller).
        const bool success = done == 1;
        if (!success) result = 0;
        if (success && m_packageIncomplete) m_batchIncomplete = true;
        if (success && wipe) {
            if (!m_packageShortfall.empty()) {
                ShowMessage(msg::package::PackageKept, m_packageShortfall);
            } else if (KindOfPath(path) == PathKind::Link) {
                // Removing the link would leave the package itself behind while it looked gone.
                ShowMessage(msg::package::PackageKept, MessageText(msg::package::NamedByLink));
            } else if (before.links > 1) {
                // So would removing one of its names: its bytes are never overwritten then.
                ShowMessage(msg::package::PackageKept, MessageText(msg::package::OtherNames));
            } else {
                FlushRestored(RestoredSince(m_decryptedFiles, listBefore));
                if (ScrubRegularFile(path.c_str(), before.identity) == WipeOutcome::kWiped)
                    m_wipedPackages.push_back(path);
            }
        }
        report(i + 1);
        // A key device pulled out (or a logon given up) fails every envelope after it alike:
        // the one message said so, and the rest of the batch is left alone.
        if (envelope && !success) {
            ILogon* logon = LogonLibrary();
            if (!logon || !logon->IsLoggedOn() ||
                (logon->GetUserType() == kLogonKeyDevice && !logon->IsDevicePresent())) {
                stopped = true;
                break;
            }
        }
    }
    UiHost().SetSubject(subject);
    if (window) {
        SendMessageTo(window.get(), WM_PROGRESS_CLOSE);
        window.reset();
        SendMessageTo(notifyWindow, WM_PROGRESS_END);
    }
    // A stopped batch has said why already; the summary would be a second message.
    if (m_batchSuccess == 0 && several && !stopped) ShowMessage(msg::envelope::SomeSkipped);
    const size_t restored = CountRestored(m_decryptedFiles);
    const size_t least = kelo ? (direct ? 2 : 1) : 0;
    if (showList && (kelo ? restored >= least : m_decryptedFiles.GetLength() >= 4)) {
        CDlgFileList list(m_decryptedFiles);
        UiHost().RunDialog(list);
    }
    return stopped ? -1 : result;
}
