// Demo steps of what the shell asks about a selection (property sheets of a file and of a
// drive) and of secure deletion.

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Demo.h"
#include "engine/Korvane.h"
#include "platform/TempFolder.h"
#include "shell/PropertySheets.h"
#include "wipe/DeleteLog.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

void Print(const CPropertySheet& sheet) {
    std::printf("  %s\n", sheet.Title().c_str());
    for (const std::string& line : sheet.Lines()) std::printf("    %s\n", line.c_str());
}

bool ShowPropertySheets(DemoContext& demo) {
    // The envelope package of an earlier step (with its security page) when it is still
    // there, else the password package, else a file of our own.
    fs::path file = fs::path(demo.folder) / "letters.vrk";
    if (!fs::exists(file)) file = fs::path(demo.folder) / "sample.pkg";
    if (!fs::exists(file)) Write(file = fs::path(demo.folder) / "notes.txt", std::string(1234, 'n'));
    std::string list = file.string() + '\0' + '\0';
    Print(*MakeSelectionSheet(list.c_str()));
    std::string root = std::string("/") + '\0' + '\0';
    Print(*MakeSelectionSheet(root.c_str()));
    return true;
}

bool ShowWipe(DemoContext& demo) {
    SetSuiteFolder(demo.home);  // the delete log goes to this suite folder's tmp/ unless $TMPDIR is set
    fs::path tree = fs::path(demo.folder) / "to-wipe";
    fs::create_directories(tree / "drafts");
    Write(tree / "drafts/letter.txt", std::string(50000, 'L'));
    Write(tree / "secret.txt", "secret\n");
    Write(fs::path(demo.folder) / "keep.txt", "kept\n");
    fs::create_symlink(fs::path(demo.folder) / "keep.txt", tree / "link-to-keep.txt");
    std::printf("  %s\n", MessageText(msg::cli_demo::WipeTree, tree.string(), demo.folder).c_str());

    std::string list = tree.string() + '\0' + '\0';
    CKorvane engine;
    int result = engine.TrueDelFileOrDir(list.data(), 0);
    std::ifstream kept(fs::path(demo.folder) / "keep.txt");
    std::string content((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    std::printf("  %s\n",
                MessageText(msg::cli_demo::RandomFill, result,
                            MessageText(fs::exists(tree) ? msg::cli_demo::StillThere : msg::cli_demo::Gone),
                            MessageText(content == "kept\n" ? msg::cli_demo::Untouched : msg::cli_demo::Changed))
                    .c_str());

    // A folder that holds a "dirinfo" file cannot be removed: the delete log says why.
    fs::create_directories(tree);
    Write(tree / "dirinfo", "folder description");
    Write(tree / "old.txt", "old");
    result = engine.DelFileOrDir(list.data(), 0);
    std::printf("  %s\n", MessageText(msg::cli_demo::ZeroFill, result, DeleteLogPath()).c_str());
    std::ifstream log(DeleteLogPath());
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // the log's lines end in CR LF
        std::printf("    %s\n", line.c_str());
    }
    return result == 0 && !fs::exists(tree / "old.txt") && content == "kept\n";
}

}  // namespace

VARNEX_DEMO_STEP(80, msg::cli_demo::TitlePropertySheets, ShowPropertySheets);
VARNEX_DEMO_STEP(90, msg::cli_demo::TitleWipe, ShowWipe);
