#include "password/PasswordPackager.h"

#include <openssl/crypto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "password/PackagePaths.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

// Key material of one pack, wiped when the pack ends.
struct PackKeys {
    Sysmetry_Decrypt_Info info {};
    Encrypt_Data data {};
    ~PackKeys() {
        OPENSSL_cleanse(&info, sizeof info);
        OPENSSL_cleanse(&data, sizeof data);
    }
};

int BuildPackage(CKorvane& engine, CFile& package, const PasswordPackRequest& request) {
    int cipher = 0, digest = 0;
    engine.ChooseIdentifiers(&cipher, &digest);
    if (request.cipherId != 0) cipher = request.cipherId;

    EncryptFlag head {};
    std::memcpy(head.magic, "KF", 2);
    engine.GetEncryptVer(head.version);
    head.kind = kKindPassword;
    head.cipherId = cipher;
    head.digestId = head.digestId2 = digest;
    head.one = 1;
    std::snprintf(head.baseFolder, sizeof head.baseFolder, "%s", request.baseFolder.c_str());
    if (!engine.fWriteBuf(&package, &head, sizeof head)) return 0;

    auto keys = std::make_unique<PackKeys>();
    char key[64] = {}, iv[64] = {};
    int keyLength = 0, ivLength = 0;
    engine.Generate_EncryptKey(cipher, key, &keyLength, iv, &ivLength);
    OPENSSL_cleanse(key, sizeof key);
    std::string password = request.password;
    if (keyLength <= 0 || ivLength <= 0 ||
        !engine.GenerateKeyByHash(password.data(), static_cast<int>(password.size()),
                                  reinterpret_cast<char*>(keys->info.key), keyLength)) {
        OPENSSL_cleanse(password.data(), password.size());
        AfxMessageBox("加密失败，请检查密钥设施是否安装好。");
        return 0;
    }
    OPENSSL_cleanse(password.data(), password.size());
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
    keys->data.digestId = digest;
    keys->data.notifyWindow = request.notifyWindow;
    keys->data.itemCount = itemCount;
    return engine.SymmtryEncryptFiles(&package, recordStart, keys->data);
}

}  // namespace

int PackWithPassword(CKorvane& engine, const PasswordPackRequest& request) {
    std::string temp = FolderPart(request.packagePath);
    if (temp.empty()) temp = "./";
    temp += ".varnex-pack-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        AfxMessageBox(Format("打开文件失败.\n%s", std::strerror(errno)), MB_ICONSTOP);
        return 0;
    }
    ::close(fd);
    int result = 0;
    {
        CFile package;
        CFileException error;
        if (!package.Open(temp, CFile::modeReadWrite | CFile::shareExclusive, &error)) {
            AfxMessageBox(Format("打开文件失败.\n%s", error.ErrorText().c_str()), MB_ICONSTOP);
        } else {
            result = BuildPackage(engine, package, request);
            if (result == 1) {
                try {
                    package.Close();
                } catch (const CFileException& e) {
                    AfxMessageBox(Format("写文件出错.\n\n%s", e.ErrorText().c_str()), MB_ICONSTOP);
                    result = 0;
                }
            }
        }
    }
    if (result == 1) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(temp.c_str(), 0666 & ~mask);
        if (::rename(temp.c_str(), request.packagePath.c_str()) != 0) {
            AfxMessageBox(Format("写文件出错.\n\n%s", std::strerror(errno)), MB_ICONSTOP);
            result = 0;
        }
    }
    if (result != 1) ::unlink(temp.c_str());
    return result;
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
