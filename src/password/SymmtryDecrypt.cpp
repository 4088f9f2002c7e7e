// Restoring a password package: head and key-check block, the password (once per batch), the
// output folder, then every folder and file of the record list with its times and attributes.

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "formats/Messages.h"
#include "formats/PackagePaths.h"
#include "formats/PackageRecords.h"
#include "logon/ILogon.h"
#include "package/Messages.h"
#include "package/ProgressReport.h"
#include "package/RestorePass.h"
#include "password/Messages.h"
#include "password/PasswordDialog.h"
#include "platform/MessageBox.h"

// Derives the key from the password and compares its check value with the stored one.
// Answers 1 (right, key set), 0 (wrong), -1 (the check could not be computed) or -2 (no key
// could be made of the password: the package is refused). Messages only when not silent.
int CKorvane::CheckPackagePassword(const EncryptFlag& head, const std::vector<unsigned char>& check,
                                   const SecretText& password, unsigned char* key, int silent) {
    const bool oldLayout = IsVersion10(head);
    std::vector<unsigned char> value(kKeyCheckRoom + 64);
    int valueLength = 0;
    char* pw = const_cast<char*>(password.data());
    if (oldLayout) {
        int keyLength = static_cast<int>(check.size());
        if (!GenerateKeyByHash(pw, static_cast<int>(password.size()), reinterpret_cast<char*>(key), keyLength)) {
            if (!silent) ShowMessage(msg::formats::StructureError);
            return -2;
        }
        if (!SerialEncryptKey(reinterpret_cast<char*>(key), keyLength, reinterpret_cast<char*>(value.data())))
            return -1;
        valueLength = keyLength;
    } else {
        int keyLength = CipherKeyLength(head.cipherId);
        if (!GenerateKeyByHash(pw, static_cast<int>(password.size()), reinterpret_cast<char*>(key), keyLength) ||
            !EncryptKey30(head.cipherId, key, keyLength, value.data(), &valueLength)) {
            if (!silent) ShowMessage(msg::password::DecryptKeyFacility);
            return -1;
        }
    }
    bool right = static_cast<size_t>(valueLength) == check.size() &&
                 CRYPTO_memcmp(value.data(), check.data(), check.size()) == 0;
    OPENSSL_cleanse(value.data(), value.size());
    return right ? 1 : 0;
}

// -1 when the user cancelled at the replace question (the dispatcher stops its batch).
int CKorvane::SymmtryDecryptFiles(const char* packagePath, HWND notifyWindow, int direct, int silent) try {
    EngineCall call(m_context);
    if (packagePath == nullptr) packagePath = "";
    std::string packageFolder = FolderPart(packagePath);
    if (packageFolder.empty()) packageFolder = "./";
    CFile package;
    if (!OpenForReading(packagePath, package, 1)) return 0;
    return DecryptOpenPackage(package, packageFolder, notifyWindow, direct, silent);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::DecryptOpenPackage(CFile& package, const std::string& packageFolder, HWND notifyWindow, int direct,
                                 int silent) {
    EncryptFlag head;
    if (!ReadEncryptedFileHead(&package, &head, msg::formats::HeadCrc1.text) ||
        !CheckEncryptedFileHead(head, kPasswordHeadRules))
        return 0;
    std::vector<unsigned char> check, iv;
    if (!ReadKeyCheckBlock(Records(), &package, check, iv)) return 0;

    SecretText password;
    if (m_passwordKnown) {
        password = m_batchPassword;
    } else {
        CDlgPassword dialog;
        dialog.SetPrompt(MessageText(msg::password::EnterDecryptionKey));
        if (UiHost().RunDialog(dialog) != CDlgPassword::kIdConfirm) return 0;
        password = dialog.Password();
    }
    ContentKey key;
    key.cipherId = head.cipherId;
    // A package may store no IV at all (its content then ran under a zero IV).
    if (!iv.empty()) std::memcpy(key.iv, iv.data(), std::min(iv.size(), sizeof key.iv));
    int right = CheckPackagePassword(head, check, password, key.key, silent);
    if (right != 1) {
        // Only a wrong password or a failed check marks the batch; a refused package does not.
        if (silent && right != -2) {
            m_batchSuccess = 0;
        } else if (right == 0) {
            ShowMessage(msg::password::WrongPassword);
        }
        return 0;
    }
    m_batchPassword = password;
    m_passwordKnown = 1;

    RestorePlan plan;
    plan.key = &key;
    plan.itemCount = head.itemCount;
    plan.oldLayout = IsVersion10(head);
    plan.testOnly = m_testOnly != 0;
    RestorePass pass(*this, m_baseFolder, m_workPath, plan);
    size_t longestPath = 0;
    if (!pass.Scan(&package, &longestPath)) return 0;
    std::string base;
    if (plan.testOnly)
        base = WithSeparator(packageFolder);  // where a restore goes unless told: the same checks
    else if (!PrepareOutputFolder(*this, packageFolder, packageFolder, direct, silent, base))
        return 0;
    // Every restored path must fit where the walkers keep paths.
    if (base.size() + longestPath >= kMaxPath) {
        ShowMessage(msg::formats::StructureError);
        return 0;
    }
    ILogon* logon = LogonLibrary();
    OutputQuery query(plan.testOnly ? nullptr : logon, base);

    std::string lastOutput;
    int result = 0;
    {
        ProgressReport progress(MessageText(msg::package::DecryptingTitle), MessageText(msg::package::Decrypting),
                                notifyWindow, silent != 0);
        int32_t endSecond = 0;
        result = pass.Run(&package, base, progress, lastOutput, &endSecond);
        // Bytes behind the last content are damage to a check and a restore alike.
        if (result == 1 && !pass.EndsWhereRecordsSay(&package, endSecond)) {
            ShowMessage(msg::formats::StructureError);
            result = 0;
        }
        package.Abort();
    }
    m_packageShortfall = pass.Shortfall();
    m_packageIncomplete = pass.Incomplete();
    if (result == 1 && !plan.testOnly && head.itemCount == 1 && direct) OfferLoneResult(*this, logon, lastOutput);
    return result;
}
