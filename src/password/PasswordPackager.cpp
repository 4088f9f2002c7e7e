#include "password/PasswordPackager.h"

#include <openssl/crypto.h>

#include <cstring>
#include <filesystem>

#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "formats/EncryptArgs.h"
#include "formats/PackagePaths.h"
#include "package/PackageWalker.h"
#include "password/Messages.h"
#include "platform/AtomicFile.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

// Key material of one pack, wiped when the pack ends.
struct PackKeys {
    Sysmetry_Decrypt_Info info{};
    Encrypt_Data data{};
    ~PackKeys() {
        OPENSSL_cleanse(&info, sizeof info);
        OPENSSL_cleanse(&data, sizeof data);
    }
};

int BuildPackage(CKorvane& engine, CFile& package, const PasswordPackRequest& request) {
    EncryptFlag head;
    engine.InitEncryptFlag(&head, kKindPassword);
    if (request.cipherId != 0) head.cipherId = request.cipherId;
    const int cipher = head.cipherId;
    std::snprintf(head.baseFolder, sizeof head.baseFolder, "%s", request.baseFolder.c_str());
    if (!engine.fWriteBuf(&package, &head, sizeof head)) return 0;

    // The IV is drawn at random; the key comes from the password. A failed draw has shown its
    // message and left the lengths at 0.
    auto keys = std::make_unique<PackKeys>();
    char key[64] = {}, iv[64] = {};
    int keyLength = 0, ivLength = 0;
    engine.Generate_EncryptKey(cipher, key, &keyLength, iv, &ivLength);
    OPENSSL_cleanse(key, sizeof key);
    if (keyLength <= 0 || ivLength <= 0) return 0;
    if (!engine.GenerateKeyByHash(request.password.data(), static_cast<int>(request.password.size()),
                                  reinterpret_cast<char*>(keys->info.key), keyLength)) {
        ShowMessage(msg::password::EncryptKeyFacility);
        return 0;
    }
    keys->info.keyLength = keyLength;
    keys->info.ivLength = ivLength;
    std::memcpy(keys->info.iv, iv, static_cast<size_t>(ivLength));

    std::string list;
    for (const std::string& p : request.paths) list.append(p).push_back('\0');
    list.push_back('\0');
    int recordStart = 0, itemCount = 0;
    if (!engine.Symmtry_SearchFile(list.c_str(), &package, keys->info, &recordStart, &itemCount)) return 0;
    if (!engine.AddEndofHead(&package)) return 0;

    std::memcpy(keys->data.key, keys->info.key, static_cast<size_t>(keyLength));
    keys->data.keyLength = keyLength;
    std::memcpy(keys->data.iv, keys->info.iv, static_cast<size_t>(ivLength));
    keys->data.ivLength = ivLength;
    keys->data.cipherId = cipher;
    keys->data.digestId = head.digestId;
    keys->data.notifyWindow = request.notifyWindow;
    keys->data.itemCount = itemCount;
    return engine.SymmtryEncryptFiles(&package, recordStart, keys->data);
}

// Every path names a file or a folder, a link to one included.
bool PathsArePackable(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        if (!IsExistingFile(p) && !IsExistingFolder(p)) {
            ShowMessage(msg::password::NotFileOrFolder, p);
            return false;
        }
    }
    return true;
}

}  // namespace

int PackWithPassword(CKorvane& engine, const PasswordPackRequest& request) try {
    EngineCall call(engine.Context());
    if (!PathsArePackable(request.paths)) return 0;
    CAtomicFile package;
    package.SetReplace(request.replace);
    CFileException error;
    if (!package.Create(request.packagePath, &error)) {
        ShowMessage(msg::engine::OpenFailed, error.ErrorText());
        return 0;
    }
    if (BuildPackage(engine, *package.File(), request) != 1) return 0;
    if (!package.Commit(&error)) {
        ShowMessage(msg::engine::WriteFailed, error.ErrorText());
        return 0;
    }
    PackageWalker::ShowLeftOut(engine);
    return 1;
} catch (...) {
    return EntryFailed(engine.Context(), 0);
}

std::string CommonBaseFolder(const std::vector<std::string>& absolutePaths) {
    std::filesystem::path common;
    bool first = true;
    for (const std::string& p : absolutePaths) {
        std::filesystem::path parent = std::filesystem::path(p).lexically_normal().parent_path();
        if (first) {
            common = parent;
            first = false;
            continue;
        }
        std::filesystem::path shared;
        auto a = common.begin(), b = parent.begin();
        for (; a != common.end() && b != parent.end() && *a == *b; ++a, ++b) shared /= *a;
        common = shared;
    }
    return common.string();
}
