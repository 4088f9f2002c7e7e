// varnex_fuzz_seeds OUT: the fuzz targets' starting material, made by the engine's own writers.
//   OUT/home              a suite folder with alice and bob (the targets copy it: $VARNEX_FUZZ_HOME)
//   OUT/corpus/TARGET/    seed inputs of each target: packages, signature files, mail packages
//                         and certificates that round-trip, small enough to fuzz quickly
// Every run makes fresh keys and packages; nothing here is checked in.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "formats/EncryptFlag.h"
#include "logon/ILogon.h"
#include "logon/LogonKeys.h"
#include "mail/MailEncrypt.h"
#include "password/PasswordPackager.h"
#include "platform/UiHost.h"

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Seeds {
public:
    explicit Seeds(const std::string& out) : m_out(out) {}

    // Adds the file at path to the corpus of each target.
    void Add(const std::string& path, const std::vector<std::string>& targets) {
        const std::string content = Read(path);
        if (content.empty()) return Missing(path);
        for (const std::string& target : targets) {
            const std::string folder = m_out + "/corpus/" + target;
            fs::create_directories(folder);
            Write(folder + "/" + fs::path(path).filename().string(), content);
            ++m_counts[target];
        }
    }
    void Missing(const std::string& what) {
        std::fprintf(stderr, "varnex_fuzz_seeds: %s was not made\n", what.c_str());
        m_failed = true;
    }
    bool Report() const {
        for (const auto& [target, count] : m_counts) std::printf("%-12s %d seeds\n", target.c_str(), count);
        return !m_failed;
    }

private:
    std::string m_out;
    std::map<std::string, int> m_counts;
    bool m_failed = false;
};

// The work folder's inputs: a lone file, and a tree with a sub-folder and an empty file.
void MakeInputs(const std::string& work) {
    fs::create_directories(work + "/tree/sub");
    Write(work + "/" + fuzz::kSignedName, fuzz::kSignedContent);
    Write(work + "/tree/a.txt", "alpha\n");
    Write(work + "/tree/sub/b.bin", std::string("\x00\x01\x02\xff beta", 9));
    Write(work + "/tree/sub/empty", "");
}

void PasswordPackages(Seeds& seeds, const std::string& work) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> packages = {
        {"one.pkg", {work + "/" + fuzz::kSignedName}}, {"tree.pkg", {work + "/tree"}}};
    for (int cipher : {0, 45, 62}) {
        for (const auto& [name, paths] : packages) {
            CKorvane engine;
            PasswordPackRequest request;
            request.packagePath = work + "/c" + std::to_string(cipher) + "-" + name;
            request.paths = paths;
            request.baseFolder = work;
            request.password = fuzz::kPackagePassword;
            request.cipherId = cipher;
            request.replace = true;
            if (PackWithPassword(engine, request) != 1) {
                seeds.Missing(request.packagePath);
                continue;
            }
            seeds.Add(request.packagePath, {"password", "head", "secureinfo", "records"});
        }
    }
}

void EnvelopePackages(Seeds& seeds, LogonStore& store, const std::string& work) {
    store.LogOn(fuzz::kSender, fuzz::UserPassword(fuzz::kSender));
    for (uint8_t kind : {kKindEnvelope, kKindShared}) {
        for (const char* item : {fuzz::kSignedName, "tree"}) {
            CKorvane engine;
            engine.m_showProgressWindow = 0;
            EnvelopePackRequest request;
            request.packagePath = work + "/k" + std::to_string(kind) + "-" + item + ".vrk";
            request.paths = {work + "/" + item};
            request.baseFolder = work;
            request.recipients = {fuzz::kRecipient};
            request.kind = kind;
            request.replace = true;
            if (PackEnvelope(engine, request) != 1) {
                seeds.Missing(request.packagePath);
                continue;
            }
            seeds.Add(request.packagePath, {"envelope", "head", "secureinfo", "records"});
        }
    }
}

void SignatureFiles(Seeds& seeds, const std::string& work) {
    const std::string signedFile = work + "/" + fuzz::kSignedName;
    const std::string list = signedFile + '\0' + '\0';
    const std::string password = fuzz::UserPassword(fuzz::kSender);
    for (int mail : {0, 1}) {
        CKorvane engine;
        if (mail)
            engine.SignFilesWithEmail(list.c_str(), fuzz::kSender, password.c_str(), 0);
        else
            engine.SignFiles(list.c_str(), fuzz::kSender, password.c_str(), 0, 0);
        const std::string kept = work + (mail ? "/mail-signed.idi" : "/user-signed.idi");
        std::error_code ec;
        fs::rename(signedFile + ".idi", kept, ec);
        if (ec) {
            seeds.Missing(kept);
            continue;
        }
        seeds.Add(kept, {"signature", "head", "secureinfo"});
    }
}

void MailPackages(Seeds& seeds, LogonStore& store, const std::string& work) {
    store.LogOn(fuzz::kSender, fuzz::UserPassword(fuzz::kSender));
    std::string signer;
    store.GetSignerName(fuzz::kSender, signer);
    std::string files = work + "/" + fuzz::kSignedName + '\0' + work + "/tree/a.txt" + '\0' + '\0';
    for (int flags : {kMailFlagEncrypt | kMailFlagSign, kMailFlagEncrypt, kMailFlagSign, 0}) {
        auto arg = std::make_unique<ENCRYPT_MAIL_ARG>();
        std::memset(arg.get(), 0, sizeof *arg);
        arg->nMailType = kMailTypePublicKey;
        arg->nMailFlag = flags;
        arg->pszFiles = files.data();
        std::string to = fuzz::kRecipient;
        arg->pszRecipients = to.data();
        std::snprintf(arg->szSigner, sizeof arg->szSigner, "%s", signer.c_str());
        CMailEncrypt engine;
        const std::string kept = work + "/flags" + std::to_string(flags) + ".qlt";
        std::error_code ec;
        if (engine.EncryptMail(arg.get()) == 1) fs::rename(arg->szMailFile, kept, ec);
        if (arg->szMailFile[0] == '\0' || ec) {
            seeds.Missing(kept);
            continue;
        }
        seeds.Add(kept, {"mail_file", "mail_memory", "mail_program"});
    }
}

void Certificates(Seeds& seeds, LogonStore& store, const std::string& work) {
    std::string pem;
    if (!store.ExportCert(fuzz::kSender, pem)) return seeds.Missing("the certificate of alice");
    Write(work + "/alice.pem", pem);
    logon::X509Ptr cert = logon::ReadCertificateFile(work + "/alice.pem");
    const std::vector<unsigned char> der = cert ? logon::CertToDer(cert.get()) : std::vector<unsigned char>();
    Write(work + "/alice.der", std::string(der.begin(), der.end()));
    seeds.Add(work + "/alice.pem", {"cert"});
    seeds.Add(work + "/alice.der", {"cert"});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: varnex_fuzz_seeds OUT\n");
        return 2;
    }
    const std::string out = fs::absolute(argv[1]).string();
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::create_directories(out + "/work", ec);
    if (ec) {
        std::fprintf(stderr, "varnex_fuzz_seeds: cannot make %s: %s\n", out.c_str(), ec.message().c_str());
        return 1;
    }
    ScriptedHost host;
    host.EchoMessagesTo(stderr);
    ScopedUiHost installedHost(host);
    Seeds seeds(out);
    {
        LogonStore store(fuzz::kFuzzIterations);
        if (!fuzz::OpenHome(store, out + "/home")) return 1;
        ScopedLogonLibrary installed(&store);
        const std::string work = out + "/work";
        MakeInputs(work);
        PasswordPackages(seeds, work);
        EnvelopePackages(seeds, store, work);
        SignatureFiles(seeds, work);
        MailPackages(seeds, store, work);
        Certificates(seeds, store, work);
        store.LogOff();
    }
    fs::remove_all(out + "/home/mail", ec);
    fs::remove_all(out + "/work", ec);
    return seeds.Report() ? 0 : 1;
}
