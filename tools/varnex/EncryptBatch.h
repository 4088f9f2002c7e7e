#pragma once
// What encrypt and share-encrypt share: their paths collected into the engine's file list,
// each message naming the file it is about, and the report of what the batch did.

#include <functional>
#include <string>
#include <vector>

#include "Cli.h"
#include "advanced/AdvanceEmcrypt.h"

// One encryption-in-place batch as both commands run it: logs on, collects `paths`, runs
// `encrypt` (the engine's batch call: the file list, user ID, password and notification
// window) and reports. Answers the exit code.
using EncryptCall = std::function<int(CAdvanceEmcrypt& engine, const char* list, const char* userId,
                                      const char* password, HWND notifyWindow)>;
int RunEncryptBatch(CliContext& cli, const std::vector<std::string>& paths, bool json, const EncryptCall& encrypt);

// Collects the files under `paths` (files and folders; links met inside a folder are left out
// and named in one notice) into a NUL-separated list ended by an empty entry. -1 when the
// command may go on, else the exit code after the message.
int CollectEncryptSources(CAdvanceEmcrypt& engine, const std::vector<std::string>& paths, std::string& list);

// A notification window that makes the host name the file each message is about.
class SubjectWindow : public CWnd {
public:
    explicit SubjectWindow(IUiHost& host) : m_host(host) {}
    ~SubjectWindow() override { m_host.SetSubject({}); }
    LRESULT SendMessage(unsigned msg, WPARAM wParam, LPARAM lParam) override;

private:
    IUiHost& m_host;
};

// Prints what the batch did (one "SOURCE -> PACKAGE" line per file encrypted, one line per file
// passed over with the reason, and a summary line; or with --json one document) and answers the
// exit code: the batch's result 0 -> failed, a stop -> stopped, any file failed or encrypted
// without its content wiped -> failed.
int ReportEncryptBatch(const CliContext& cli, const CAdvanceEmcrypt& engine, bool json, int result);
