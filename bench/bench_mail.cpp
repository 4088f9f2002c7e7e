// Mail packages end to end: pack (encrypted and signed, cipher 46, digest 42) and unpack a
// 64 MiB attachment set, from a file and from memory, beside the fused bound of the raw cipher,
// the CRC and the signature digest over the same 307,200-byte blocks in the same run.

#include <gcrypt.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "engine/Crc16.h"
#include "engine/Sha0.h"
#include "logon/LogonStore.h"
#include "mail/MailEncrypt.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = BenchClock;

constexpr size_t kBlock = 307200;
constexpr int kFiles = 4;
constexpr size_t kFileSize = size_t{16} << 20;

// Unpacks as the logged-on user; seconds, or -1 after printing the engine's messages.
double Unpack(ScriptedHost& host, CFile* file, CMemFile* memory) {
    CMailEncrypt engine;
    std::vector<char> rows(kFiles * kMaxPath);
    auto key = std::make_unique<DECRYPT_MAIL_KEY>();
    std::memset(key.get(), 0, sizeof *key);
    int count = 0;
    auto t0 = Clock::now();
    int result = engine.DecryptMail(file, memory, reinterpret_cast<char(*)[kMaxPath]>(rows.data()), count, key.get());
    double seconds = Seconds(t0);
    if (result == 1) return seconds;
    for (const std::string& text : host.MessageTexts()) std::printf("  unpack failed: %s\n", text.c_str());
    return -1;
}

void BenchMail() {
    fs::path work = fs::temp_directory_path() / ("varnex-bench-mail-" + std::to_string(::getpid()));
    fs::create_directories(work / "src");
    ScriptedHost host;
    ScopedUiHost installedHost(host);
    LogonStore store(logon::KeyCost{16, 8, 1});
    if (!store.Open((work / "suite").string()) || !store.AddUser("alice", "Alice", "alice@example.org", "pw-alice") ||
        !store.LogOn("alice", "pw-alice")) {
        std::printf("  no logon store: %s\n", store.LastError().c_str());
        return;
    }
    ScopedLogonLibrary installedLogon(&store);
    std::string files;
    for (int i = 0; i < kFiles; ++i) {
        fs::path path = work / "src" / ("part" + std::to_string(i) + ".bin");
        MakeFile(path, kFileSize, static_cast<unsigned>(i + 1));
        files += path.string() + '\0';
    }
    files += '\0';
    const double total = static_cast<double>(kFiles * kFileSize);
    const double bound = FusedBound();
    std::printf("  cipher 46 + CRC + digest 42 fused bound %.1f MB/s\n", bound);

    auto arg = std::make_unique<ENCRYPT_MAIL_ARG>();
    std::memset(arg.get(), 0, sizeof *arg);
    arg->nMailType = kMailTypePublicKey;
    arg->nMailFlag = kMailFlagEncrypt | kMailFlagSign;
    arg->pszFiles = files.data();
    std::string recipients = "alice", signer = "alice";
    arg->pszRecipients = recipients.data();
    std::snprintf(arg->szSigner, sizeof arg->szSigner, "%s", signer.c_str());
    CMailEncrypt packer;
    auto t0 = Clock::now();
    if (packer.EncryptMail(arg.get()) != 1) {
        for (const std::string& text : host.MessageTexts()) std::printf("  pack failed: %s\n", text.c_str());
        fs::remove_all(work);
        return;
    }
    PrintRatio("64 MiB in 4 files, pack (encrypted + signed)", total / Seconds(t0) / 1e6, bound);

    CFile package;
    package.Open(arg->szMailFile, CFile::modeRead);
    double fromFile = Unpack(host, &package, nullptr);
    if (fromFile > 0) PrintRatio("64 MiB, unpack from a file", total / fromFile / 1e6, bound);
    long beforeMemory = PeakRssKiB();
    std::vector<unsigned char> bytes(package.GetLength());
    package.SeekToBegin();
    package.Read(bytes.data(), static_cast<unsigned>(bytes.size()));
    const size_t packageBytes = bytes.size();
    CMemFile memory;
    memory.Attach(std::move(bytes));
    double fromMemory = Unpack(host, nullptr, &memory);
    if (fromMemory > 0) PrintRatio("64 MiB, unpack from memory", total / fromMemory / 1e6, bound);
    std::printf("  peak RSS: %ld KiB before the memory unpack, %ld KiB after (package %zu KiB)\n", beforeMemory,
                PeakRssKiB(), packageBytes / 1024);
    fs::remove_all(work);
}

}  // namespace

VARNEX_BENCH("mail", BenchMail);
