// Demo step of password packages: a sample tree packed and restored with progress.

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Demo.h"
#include "engine/Korvane.h"
#include "password/PasswordPackager.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

bool PackAndRestore(DemoContext& demo) {
    fs::path src = fs::path(demo.folder) / "sample";
    fs::create_directories(src / "reports/empty");
    fs::create_directories(src / "photos");
    Write(src / "reports/q1.txt", "first quarter\n");
    Write(src / "reports/zero.txt", "");
    Write(src / "readme.txt", "read-only note\n");
    ::chmod((src / "readme.txt").c_str(), 0444);
    std::string big(2 * 307200 + 123, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + 7);
    Write(src / "photos/large.bin", big);

    CKorvane engine;
    PasswordPackRequest request;
    request.packagePath = (fs::path(demo.folder) / "sample.pkg").string();
    request.paths = {src.string()};
    request.baseFolder = demo.folder;
    request.password = "demo-password";
    std::printf("  %s\n", MessageText(msg::cli_demo::Packing, src.string()).c_str());
    if (PackWithPassword(engine, request) != 1) return false;
    std::printf("  %s\n", MessageText(msg::cli_demo::PackageMade, request.packagePath,
                                      static_cast<uintmax_t>(fs::file_size(request.packagePath)), 46)
                              .c_str());

    fs::path out = fs::path(demo.folder) / "restored";
    fs::create_directories(out);
    CKorvane reader;
    reader.m_presetOutFolder = out.string();
    reader.m_batchPassword = request.password;
    reader.m_passwordKnown = 1;
    if (reader.SymmtryDecryptFiles(request.packagePath.c_str(), nullptr, 0, 0) != 1) return false;
    std::ifstream in(out / "sample/photos/large.bin", std::ios::binary);
    std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool same = back == big && fs::is_directory(out / "sample/reports/empty");
    struct stat st {};
    ::stat((out / "sample/readme.txt").c_str(), &st);
    std::printf(
        "  %s\n",
        MessageText(msg::cli_demo::RestoredInto, out.string(),
                    MessageText(same ? msg::cli_demo::Identical : msg::cli_demo::Different),
                    MessageText(fs::is_directory(out / "sample/reports/empty") ? msg::cli_demo::Recreated
                                                                               : msg::cli_demo::Missing),
                    MessageText((st.st_mode & S_IWUSR) ? msg::cli_demo::WritableWrong : msg::cli_demo::ReadOnly))
            .c_str());
    return same && !(st.st_mode & S_IWUSR);
}

}  // namespace

VARNEX_DEMO_STEP(50, msg::cli_demo::TitlePackRestore, PackAndRestore);
