#include "mail/MailPackStep.h"

#include <openssl/crypto.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "logon/ILogon.h"
#include "mail/IMapi.h"
#include "mail/MailEncrypt.h"
#include "mail/MailLayout.h"
#include "platform/Window.h"

MailFileProblem CheckMailFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return MailFileProblem::kNotAFile;
    if (path.size() >= static_cast<size_t>(kMaxPath)) return MailFileProblem::kPathTooLong;
    if (!IsMailFileName(std::filesystem::path(path).filename().string())) return MailFileProblem::kBackslashInName;
    return MailFileProblem::kNone;
}

int PackMailFiles(const MailPackRequest& request, std::string& mailFile) {
    std::string files;
    for (const std::string& path : request.files) files.append(path).push_back('\0');
    files.push_back('\0');
    std::string recipients;  // the logon library's list form, "a;b"
    for (const std::string& name : request.recipients) recipients += (recipients.empty() ? "" : ";") + name;

    auto arg = std::make_unique<ENCRYPT_MAIL_ARG>();
    std::memset(arg.get(), 0, sizeof *arg);
    arg->nMailType = kMailTypePublicKey;
    arg->nMailFlag = (request.encrypt ? kMailFlagEncrypt : 0) | (request.sign ? kMailFlagSign : 0);
    arg->pszFiles = files.data();
    arg->pszRecipients = recipients.data();
    std::snprintf(arg->szSigner, sizeof arg->szSigner, "%s", request.signer.c_str());
    CMailEncrypt engine;
    const int result = engine.EncryptMail(arg.get());
    OPENSSL_cleanse(arg->Key, sizeof arg->Key);
    OPENSSL_cleanse(arg->IV, sizeof arg->IV);
    mailFile = result == 1 ? arg->szMailFile : "";
    return result;
}

int HandOffMail(const std::string& package, const std::vector<std::string>& recipients) {
    std::vector<std::string> to;
    CPubCertFile certs;
    certs.OpenFile();
    for (std::string name : recipients) {
        Lumo_PubCert cert;
        for (int more = certs.ReadFirstRec(cert); more; more = certs.ReadNextRec(cert)) {
            if (LogonEqualNoCase(cert.name, name)) {
                if (!cert.email.empty()) name = cert.email;
                break;
            }
        }
        to.push_back(name);
    }
    certs.CloseFile();
    CIMapi mail;
    if (!mail.LoadLibraryA()) return 0;  // the reason has been shown
    const std::string name = std::filesystem::path(package).filename().string();
    mail.Subject(name.c_str());
    for (const std::string& address : to) mail.To(address.c_str());
    mail.Attach(package.c_str(), name.c_str());
    return mail.Send();
}
