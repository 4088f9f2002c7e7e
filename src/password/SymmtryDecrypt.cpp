// Restoring a password package: head and key-check block, the password (once per batch), the
// output folder, then every folder and file of the record list with its times and attributes.

#include <openssl/crypto.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/Crc16.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "formats/ProtectedFields.h"
#include "logon/ILogon.h"
#include "password/OpenCipher.h"
#include "password/PackagePaths.h"
#include "password/PackageRecordReader.h"
#include "password/PasswordDialog.h"
#include "password/PasswordRestore.h"
#include "password/ProgressReport.h"
#include "platform/AtomicFile.h"
#include "platform/MessageBox.h"
#include "platform/OutputFolder.h"
#include "platform/Text.h"
#include "shell/DecryptToDialog.h"
#include "shell/FileListDialog.h"
#include "shell/MessagePump.h"
#include "shell/ReplaceDialog.h"

// The key-check block behind the head: check value and IV, each within the reader's room.
int CKorvane::ReadKeyCheckBlock(CFile* package, std::vector<unsigned char>& check, std::vector<unsigned char>& iv) {
    ProtectedReader block(*this, package);
    int32_t checkLength = 0, ivLength = 0;
    if (!block.I32(checkLength)) return 0;
    if (checkLength < 0 || static_cast<size_t>(checkLength) > kKeyCheckCap) {
        AfxMessageBox(kStructureError);
        return 0;
    }
    check.resize(static_cast<size_t>(checkLength));
    if (!block.Field(check.data(), check.size()) || !block.I32(ivLength)) return 0;
    if (ivLength < 0 || static_cast<size_t>(ivLength) > kKeyCheckCap) {
        AfxMessageBox(kStructureError);
        return 0;
    }
    iv.resize(static_cast<size_t>(ivLength));
    if (!block.Field(iv.data(), iv.size())) return 0;
    bool matches = false;
    if (!block.CheckCrc(true, &matches)) return 0;
    if (!matches) {
        AfxMessageBox("CRC校验错, 文件被损坏, 不能解密文件.-3 ");
        return 0;
    }
    return 1;
}

// Derives the key from the password and compares its check value with the stored one.
// Answers 1 (right, key set), 0 (wrong), -1 (the check could not be computed) or -2 (no key
// could be made of the password: the package is refused). Messages only when not silent.
int CKorvane::CheckPackagePassword(const EncryptFlag& head, const std::vector<unsigned char>& check,
                                   const std::string& password, unsigned char* key, int silent) {
    const bool oldLayout = std::memcmp(head.version, "10", 2) == 0;
    std::vector<unsigned char> value(kKeyCheckCap + 64);
    int valueLength = 0;
    char* pw = const_cast<char*>(password.data());
    if (oldLayout) {
        int keyLength = static_cast<int>(check.size());
        if (!GenerateKeyByHash(pw, static_cast<int>(password.size()), reinterpret_cast<char*>(key), keyLength)) {
            if (!silent) AfxMessageBox(kStructureError);
            return -2;
        }
        if (!SerialEncryptKey(reinterpret_cast<char*>(key), keyLength, reinterpret_cast<char*>(value.data())))
            return -1;
        valueLength = keyLength;
    } else {
        int keyLength = CipherKeyLength(head.cipherId);
        if (!GenerateKeyByHash(pw, static_cast<int>(password.size()), reinterpret_cast<char*>(key), keyLength) ||
            !EncryptKey30(head.cipherId, key, keyLength, value.data(), &valueLength)) {
            if (!silent) AfxMessageBox("解密失败，请检查密钥设施是否安装好。");
            return -1;
        }
    }
    bool right = static_cast<size_t>(valueLength) == check.size() &&
                 CRYPTO_memcmp(value.data(), check.data(), check.size()) == 0;
    OPENSSL_cleanse(value.data(), value.size());
    return right ? 1 : 0;
}

// Reads the whole record list once before anything is written, so a damaged or unsafe list
// is refused with nothing made. Sets the longest path a record names relative to the output
// folder. Leaves the package where it found it.
int CKorvane::ScanPackageRecords(CFile* package, bool oldLayout, size_t* longestPath) {
    uint64_t start = package->GetPosition();
    PackageRecordReader reader(*this, package, oldLayout);
    PackageRecord record;
    size_t folder = 0;
    *longestPath = 0;
    for (;;) {
        if (!reader.Next(record)) return 0;
        if (record.type == kRecordEnd) break;
        if (record.type == kRecordDirectory) folder = record.name.size();
        *longestPath = std::max(*longestPath, (record.type == kRecordFile ? folder : 0) + record.name.size());
    }
    return fSeek(package, static_cast<long>(start), CFile::begin);
}

// Chooses and prepares the folder the package is restored into (with a trailing separator).
int CKorvane::PrepareOutputFolder(const std::string& packageFolder, int direct, int silent, std::string& base) {
    if (!direct && !silent && !IsExistingFolder(m_presetOutFolder)) {
        CDlgDecryptTo dialog(packageFolder);
        if (UiHost().RunDialog(dialog) != CDlgDecryptTo::kIdDecrypt) return 0;
        base = dialog.Folder();
    } else {
        base = IsExistingFolder(m_presetOutFolder) ? m_presetOutFolder : packageFolder;
    }
    base = WithSeparator(base);
    if (!IsExistingFolder(base)) {
        if (AfxMessageBox(Format("文件夹\"%s\"不存在，是否创建此文件夹?", base.c_str()), MB_YESNO | MB_ICONQUESTION) !=
            IDYES)
            return 0;
        if (!MakeFolders(base, kRestoredFolderMode)) {
            AfxMessageBox(Format("创建文件夹\"%s\"失败。", base.c_str()));
            return 0;
        }
    }
    return base.size() < kMaxPath ? 1 : (AfxMessageBox(kStructureError), 0);
}

namespace {

bool ContinueAfterCreateFailure(const CFileException& error) {
    return AfxMessageBox(Format("创建文件失败.%s.\n\n是否继续?", error.ErrorText().c_str()),
                         MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// The logon library's output-folder query: when it answers non-zero for the folder, its
// begin call is made now and its end call when the restore ends, on every way out.
class OutputQuery {
public:
    OutputQuery(ILogon* logon, const std::string& folder)
        : m_logon(logon && logon->QueryOutputFolder(folder) != 0 ? logon : nullptr) {
        if (m_logon) m_logon->BeginOutput();
    }
    ~OutputQuery() {
        if (m_logon) m_logon->EndOutput();
    }
    OutputQuery(const OutputQuery&) = delete;
    OutputQuery& operator=(const OutputQuery&) = delete;

private:
    ILogon* m_logon;
};

}  // namespace

// Restores one file record: asks before replacing, decrypts the content, checks its CRC and
// gives the file its times and attributes. A kept file is still read through for its CRC.
// The file is made in `folder` by name, owner-only when new; an existing file (or link) is
// replaced atomically, and a file that appears meanwhile is never replaced unasked.
int CKorvane::RestoreFileRecord(CFile* package, const PackageRecord& record, const PasswordRestore& restore,
                                const RestoreFolder& folder, int* decision, int* done, ProgressReport& progress,
                                std::string& output) {
    output = std::string(m_workPath) + record.name;
    progress.Report(*done, restore.itemCount, output);

    bool write = true;
    mode_t existing = folder.fd >= 0 ? EntryTypeIn(folder.fd, record.name) : 0;
    if (existing != 0) {
        if (*decision == kReplaceNone) {
            write = false;
        } else if (*decision != kReplaceAll) {
            *decision = MsgReplace(output.c_str(), record.modified, record.size);
            if (*decision == kReplaceCancel) return 0;
            write = *decision != kReplaceKeep && *decision != kReplaceNone;
        }
        // A link is replaced by the restored file; what it points to is left alone.
        if (write && S_ISREG(existing)) SetFileArchiveStatus(output.c_str(), 0x20);
    }

    if (!Evp_DecryptInit(restore.key, restore.iv, restore.cipherId)) return 0;
    OpenCipher cipher(*this, OpenCipher::kDecrypt);
    uint64_t behindRecord = package->GetPosition();
    CAtomicFile file;
    file.SetReplace(existing != 0);
    CFileException error = CFileException::FromErrno(folder.error, output);
    if (write && (folder.fd < 0 || !file.CreateIn(folder.fd, record.name, output, &error, kRestoredFileMode))) {
        if (!ContinueAfterCreateFailure(error)) return 0;
        write = false;
    }

    if (!fSeek(package, record.ContentOffset(), CFile::begin)) return 0;
    unsigned char* in = BlockIn();
    unsigned char* out = BlockOut();
    uint16_t crc = 0xFFFF;
    int produced = 0;
    for (int64_t left = record.contentLength; left > 0;) {
        unsigned long want = static_cast<unsigned long>(std::min<int64_t>(left, kStreamBlockSize)), got = 0;
        if (!fReadBuf(package, in, want, &got, 0)) return 0;
        if (got < want) {
            AfxMessageBox("加密文件损坏, 不能正确解密-6.");
            return 0;
        }
        crc = Crc16Update(crc, in, got);
        if (!Evp_DecryptUpdate(out, &produced, in, static_cast<int>(got))) return 0;
        if (write && !fWriteBuf(file.File(), out, static_cast<unsigned long>(produced))) return 0;
        left -= static_cast<int64_t>(got);
        DoEvents();
    }
    cipher.Finished();
    if (!Evp_DecryptFinal(out, &produced)) return 0;
    if (write && produced > 0 && !fWriteBuf(file.File(), out, static_cast<unsigned long>(produced))) return 0;

    // A damaged content replaces nothing unless the user wants it anyway.
    if (Crc16Final(crc) != record.contentCrc &&
        AfxMessageBox("文件内容CRC校验错, 是否继续? ", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
    if (write) {
        if (!file.Commit(&error)) {
            if (!ContinueAfterCreateFailure(error)) return 0;
        } else {
            SetFileStatus(output.c_str(), record.modified, record.created, record.attributes);
            std::string entry = output + "|";
            m_decryptedFiles.SeekToEnd();
            m_decryptedFiles.Write(entry.data(), static_cast<unsigned>(entry.size()));
        }
    }
    ++*done;
    progress.Report(*done, restore.itemCount, output);
    return fSeek(package, static_cast<long>(behindRecord), CFile::begin);
}

namespace {

// Opens (making it when missing) the folder of a directory record below the output folder.
// False when a link or a file stands where the folder is to be: nothing is written through it.
bool EnterOutputFolder(const OutputFolder& output, const std::string& relative, UniqueFd& fd, RestoreFolder& folder) {
    folder.error = 0;
    OutputFolder::Result result = output.OpenBelow(relative, fd, &folder.error);
    if (result != OutputFolder::kOk) fd.Reset();
    folder.fd = fd.Get();
    return result != OutputFolder::kNotAFolder;
}

}  // namespace

int CKorvane::RestoreRecordList(CFile* package, const PasswordRestore& restore, const std::string& base,
                                ProgressReport& progress, std::string& lastOutput) {
    OutputFolder output;
    RestoreFolder folder;
    UniqueFd folderFd;
    if (!output.Open(base, &folder.error)) {
        AfxMessageBox(Format("创建文件夹\"%s\"失败。", base.c_str()));
        return 0;
    }
    if (!EnterOutputFolder(output, "", folderFd, folder)) return (AfxMessageBox(kStructureError), 0);
    PackageRecordReader reader(*this, package, restore.oldLayout);
    PackageRecord record;
    int decision = 0, done = 0;
    for (;;) {
        if (!reader.Next(record)) return 0;
        if (record.type == kRecordEnd) return 1;
        if (record.type == kRecordDirectory) {
            if (!EnterFolder(record.name)) return 0;
            if (!EnterOutputFolder(output, record.name, folderFd, folder)) {
                AfxMessageBox(kStructureError);
                return 0;
            }
        } else if (!RestoreFileRecord(package, record, restore, folder, &decision, &done, progress, lastOutput)) {
            return 0;
        }
    }
}

int CKorvane::SymmtryDecryptFiles(const char* packagePath, HWND notifyWindow, int direct, int silent) {
    if (packagePath == nullptr) packagePath = "";
    std::string packageFolder = FolderPart(packagePath);
    if (packageFolder.empty()) packageFolder = "./";
    CFile package;
    if (!OpenForReading(packagePath, package, 1)) return 0;
    try {
        return DecryptOpenPackage(package, packageFolder, notifyWindow, direct, silent);
    } catch (const CFileException& e) {
        ShowReadError(e);
        return 0;
    }
}

int CKorvane::DecryptOpenPackage(CFile& package, const std::string& packageFolder, HWND notifyWindow, int direct,
                                 int silent) {
    EncryptFlag head;
    if (!ReadEncryptedFileHead(&package, &head, "CRC校验错,文件已损坏, 不能解密-1") ||
        !CheckEncryptedFileHead(head, kPasswordHeadRules))
        return 0;
    std::vector<unsigned char> check, iv;
    if (!ReadKeyCheckBlock(&package, check, iv)) return 0;

    std::string password;
    if (m_passwordKnown) {
        password = m_batchPassword;
    } else {
        CDlgPassword dialog;
        dialog.SetPrompt("请输入解密密钥:");
        if (UiHost().RunDialog(dialog) != CDlgPassword::kIdConfirm) return 0;
        password = dialog.Password();
    }
    PasswordRestore restore;
    restore.cipherId = head.cipherId;
    restore.itemCount = head.itemCount;
    restore.oldLayout = std::memcmp(head.version, "10", 2) == 0;
    std::memcpy(restore.iv, iv.data(), std::min(iv.size(), sizeof restore.iv));
    int right = CheckPackagePassword(head, check, password, restore.key, silent);
    if (right != 1) {
        // Only a wrong password or a failed check marks the batch; a refused package does not.
        if (silent && right != -2) {
            m_batchSuccess = 0;
        } else if (right == 0) {
            AfxMessageBox("对不起，密码错!");
        }
        OPENSSL_cleanse(password.data(), password.size());
        return 0;
    }
    OPENSSL_cleanse(m_batchPassword.data(), m_batchPassword.size());
    m_batchPassword = password;
    m_passwordKnown = 1;
    OPENSSL_cleanse(password.data(), password.size());

    size_t longestPath = 0;
    if (!ScanPackageRecords(&package, restore.oldLayout, &longestPath)) return 0;
    std::string base;
    if (!PrepareOutputFolder(packageFolder, direct, silent, base)) return 0;
    // Every restored path must fit where the walkers keep paths.
    if (base.size() + longestPath >= kMaxPath) {
        AfxMessageBox(kStructureError);
        return 0;
    }
    std::snprintf(m_baseFolder, sizeof m_baseFolder, "%s", base.c_str());
    std::snprintf(m_workPath, sizeof m_workPath, "%s", base.c_str());
    ILogon* logon = LogonLibrary();
    OutputQuery query(logon, base);

    std::string lastOutput;
    int result = 0;
    {
        ProgressReport progress("解密文件", "正在解密文件...", notifyWindow, silent != 0);
        result = RestoreRecordList(&package, restore, base, progress, lastOutput);
        package.Abort();
    }
    if (result == 1 && head.itemCount == 1 && direct && !lastOutput.empty() &&
        strcasecmp(std::filesystem::path(lastOutput).extension().c_str(), ".vrk") != 0) {
        if ((!logon || logon->OpenResult(lastOutput) == 0) && m_decryptedFiles.GetLength() >= 4) {
            CDlgFileList list(m_decryptedFiles);
            UiHost().RunDialog(list);
        }
    }
    return result;
}
