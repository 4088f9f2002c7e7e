// The collection pass of a password package: the key-check block behind the plain head, then
// the package layer's walk of folders and files.

#include <cstring>

#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "formats/PackageRecords.h"
#include "formats/ProtectedFields.h"
#include "package/PackageWalker.h"
#include "password/Messages.h"
#include "platform/MessageBox.h"

int CKorvane::WriteKeyCheckBlock(CFile* package, const EncryptFlag& head, const Sysmetry_Decrypt_Info& info) {
    unsigned char check[kKeyCheckRoom];
    int checkLength = 0;
    if (info.keyLength <= 0 || info.keyLength > static_cast<int>(sizeof info.key) || info.ivLength < 0 ||
        info.ivLength > static_cast<int>(sizeof info.iv)) {
        ShowMessage(msg::password::EncryptKeyFacility);
        return 0;
    }
    // A cipher that cannot start (a card whose driver is missing) has said why.
    if (!EncryptKey30(head.cipherId, info.key, info.keyLength, check, &checkLength)) return 0;
    ProtectedWriter block(Records(), package);
    return block.I32(checkLength) && block.Field(check, static_cast<size_t>(checkLength)) && block.I32(info.ivLength) &&
                   block.Field(info.iv, static_cast<size_t>(info.ivLength)) && block.Finish()
               ? 1
               : 0;
}

int CKorvane::Symmtry_SearchFile(const char* pathList, CFile* package, const Sysmetry_Decrypt_Info& info,
                                 int* recordStart, int* itemCount) try {
    EngineCall call(m_context);
    if (pathList == nullptr || package == nullptr || recordStart == nullptr || itemCount == nullptr) return 0;
    PackageWalker walker(*this, m_baseFolder, m_workPath,
                         [&](CFile* p, const EncryptFlag& head) { return WriteKeyCheckBlock(p, head, info); });
    return walker.WalkList(pathList, package, recordStart, itemCount);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::Symmtry_SearchSingleFile(const char* path, CFile* package, const Sysmetry_Decrypt_Info& info,
                                       int* recordStart, int* itemCount) try {
    EngineCall call(m_context);
    if (path == nullptr || package == nullptr || recordStart == nullptr || itemCount == nullptr) return 0;
    PackageWalker walker(*this, m_baseFolder, m_workPath,
                         [&](CFile* p, const EncryptFlag& head) { return WriteKeyCheckBlock(p, head, info); });
    return walker.Walk(path, package, recordStart, itemCount);
} catch (...) {
    return EntryFailed(m_context, 0);
}
