#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "shell/FDPropertyPage.h"
#include "shell/PlainFunctions.h"
#include "shell/PropertySheets.h"

namespace {

namespace fs = std::filesystem;

bool HasLine(const CPropertySheet& sheet, const std::string& line) {
    for (const std::string& l : sheet.Lines())
        if (l == line) return true;
    return false;
}

bool ReadOnly(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

TEST(PlainFunctions, LargeNumbersInBothForms) {
    struct Case {
        int64_t n;
        const char* grouped;
        const char* scaled;
    };
    for (const Case& c :
         {Case{1023, "1,023", "1023 字节"}, Case{1024, "1,024", "1.00 KB"}, Case{999, "999", "999 字节"},
          Case{1234567, "1,234,567", "1.18 MB"}, Case{1048575999, "1,048,575,999", "1000.00 MB"},
          Case{1048576000, "1,048,576,000", "0.98 GB"}, Case{int64_t{5} << 30, "5,368,709,120", "5.00 GB"}}) {
        std::string grouped, scaled;
        FromatLargeNumber(c.n, &grouped, &scaled);
        EXPECT_EQ(grouped, c.grouped) << c.n;
        EXPECT_EQ(scaled, c.scaled) << c.n;
    }
}

TEST(PlainFunctions, SecuredFilesAreKnownByExistingNameAndExtension) {
    TempDir dir;
    WriteFile(dir / "X.VRK", "x");
    WriteFile(dir / "a.idi.bak", "x");
    WriteFile(dir / "vrk", "x");
    EXPECT_EQ(IsEncryptedFile((dir / "missing.vrk").c_str()), 0);
    EXPECT_EQ(IsEncryptedFile((dir / "X.VRK").c_str()), 1);
    EXPECT_EQ(IsEncryptedFile((dir / "a.idi.bak").c_str()), 0);
    EXPECT_EQ(IsEncryptedFile((dir / "vrk").c_str()), 0);
}

TEST(PlainFunctions, CollectCountsTheSelectionWithoutFollowingLinks) {
    TempDir dir;
    fs::create_directories(dir / "top/empty");
    WriteFile(dir / "top/file", "12345");
    WriteFile(dir / "top/dirinfo", std::string(1000, 'd'));
    fs::create_directory_symlink(dir / "top", dir / "top/empty/loop");  // never followed
    int64_t size = -1, files = -1, folders = -1;
    EXPECT_EQ(Collect_FDs_Info(PathList({dir / "top"}).data(), &size, &files, &folders), 1);
    EXPECT_EQ(files, 1);
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(size, 5);

    // A sparse file beyond 4 GiB is sized in full; a missing entry stops with the counts so far.
    {
        int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_EQ(::ftruncate(fd, int64_t{5} << 30), 0);
        ::close(fd);
    }
    EXPECT_EQ(Collect_FDs_Info(PathList({dir / "big", dir / "missing", dir / "top"}).data(), &size, &files, &folders),
              0);
    EXPECT_EQ(size, int64_t{5} << 30);
    EXPECT_EQ(files, 1);
    EXPECT_EQ(folders, 0);
}

class Properties : public HostTest {};

TEST_F(Properties, PagesShowTheSelectionAndItsAttributes) {
    WriteFile(dir / "doc.txt", std::string(1234, 'x'));
    fs::create_directories(dir / "folder/sub");
    WriteFile(dir / "folder/sub/a", "abc");

    std::unique_ptr<CPropertySheet> file = MakeSelectionSheet(PathList({dir / "doc.txt"}).c_str());
    EXPECT_EQ(file->Title(), "doc.txt 属性");
    EXPECT_TRUE(HasLine(*file, "大小: 1,234 字节 (1.21 KB)"));
    EXPECT_TRUE(HasLine(*file, "类型: TXT 文件"));
    // Only read-only can be changed on this system: the other boxes show their state, disabled.
    EXPECT_TRUE(HasLine(*file, "[ ] 只读 (r)"));
    EXPECT_TRUE(HasLine(*file, "[ ] 隐藏 (h) 不可用"));
    EXPECT_TRUE(HasLine(*file, "[x] 存档 (a) 不可用"));
    EXPECT_TRUE(HasLine(*file, "[ ] 系统 (s) 不可用"));

    std::unique_ptr<CPropertySheet> mixed = MakeSelectionSheet(PathList({dir / "folder", dir / "doc.txt"}).c_str());
    EXPECT_EQ(mixed->Title(), "folder, ... 属性");
    EXPECT_TRUE(HasLine(*mixed, "包含: 2 个文件, 2 个文件夹"));
    EXPECT_TRUE(HasLine(*mixed, "类型: 多种类型"));
    EXPECT_TRUE(HasLine(*mixed, "大小: 1,237 字节(1.21 KB)"));
    // One folder holds what is in it, not itself; an empty one holds nothing.
    fs::create_directories(dir / "empty");
    for (const auto& [folder, line] : {std::pair{dir / "folder", "包含: 1 个文件, 1 个文件夹"},
                                       std::pair{dir / "empty", "包含: 0 个文件, 0 个文件夹"}})
        EXPECT_TRUE(HasLine(*MakeSelectionSheet(PathList({folder}).c_str()), line)) << folder;

    EXPECT_EQ(IsLogicDrive("/"), 1);
    EXPECT_EQ(IsLogicDrive(dir.Path().c_str()), 0);
    CDlgFDProperty drive(PathList({"/"}).c_str());
    EXPECT_TRUE(drive.DriveMode());
    int64_t freeToCaller = 0, total = 0, totalFree = 0;
    EXPECT_NE(GetDriveAmount("/", &freeToCaller, &total, &totalFree), 0);
    EXPECT_GT(total, 0);
    EXPECT_GE(totalFree, freeToCaller);

    DispFileProperty((dir / "missing").c_str());
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"shell.FileMissing"});
}

TEST_F(Properties, ApplyChangesEveryEntryAndReportsEachRefusal) {
    WriteFile(dir / "a", "x");
    WriteFile(dir / "b", "x");
    WriteFile(dir / "c", "x");
    std::string list = PathList({dir / "a", dir / "b", dir / "c"});

    // Answered "+r" and closed with OK: every entry becomes read-only, the flag says so.
    host.AddAnswer("properties", "+r");
    int modified = -1;
    DisplayFDProperty(list.data(), &modified);
    EXPECT_EQ(modified, 1);
    EXPECT_TRUE(ReadOnly(dir / "a") && ReadOnly(dir / "b") && ReadOnly(dir / "c"));

    // An entry that went away is reported and the others are still changed.
    std::unique_ptr<CPropertySheet> sheet = MakeSelectionSheet(list.c_str());
    fs::remove(dir / "b");
    for (const char* disabled : {"+s", "+h", "-a", "-r +h"})
        EXPECT_FALSE(sheet->ChangeAttributes(disabled)) << disabled;
    ASSERT_TRUE(sheet->ChangeAttributes("-r"));
    EXPECT_EQ(sheet->ApplyPages(), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{dir / "b" + "\n设置属性失败。"});
    EXPECT_FALSE(ReadOnly(dir / "a") || ReadOnly(dir / "c"));

    // Cancelled: nothing changes and the flag stays 0.
    host.AddAnswer("properties", "cancel");
    DisplayFDProperty(list.data(), &modified);
    EXPECT_EQ(modified, 0);
}

TEST_F(Properties, CommandShowsAndChangesTheSheet) {
    // A secured name carries the security page: a package's lines, or why there are none.
    WriteFile(dir / "pw", "package password\n");
    WriteFile(dir / "doc.txt", "content");
    std::string pack = "--new-password-file " + dir / "pw" + " pack -o " + dir / "p.vrk " + dir / "doc.txt";
    ASSERT_EQ(RunVarnex(dir, dir / "home", pack).exit, 0);
    CliOutcome shown = RunVarnex(dir, dir / "home", "props --json " + dir / "p.vrk");
    EXPECT_EQ(shown.exit, 0) << shown.err;
    EXPECT_NE(shown.out.find("\"title\":\"p.vrk 属性\""), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("\"caption\":\"安全\""), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("安全类型: 密码加密"), std::string::npos) << shown.out;
    WriteFile(dir / "plain.IDI", "not secured");
    EXPECT_NE(RunVarnex(dir, dir / "home", "props " + dir / "plain.IDI").out.find("不能读取文件安全信息"),
              std::string::npos);

    CliOutcome set = RunVarnex(dir, dir / "home", "props --set +r " + dir / "p.vrk");
    EXPECT_EQ(set.exit, 0) << set.err;
    EXPECT_TRUE(ReadOnly(dir / "p.vrk"));
    for (const char* refused : {"-r,+h", "-h"}) {  // "-h" is the value of --set here, not a call for help
        CliOutcome hidden = RunVarnex(dir, dir / "home", std::string("props --set ") + refused + " " + dir / "p.vrk");
        EXPECT_EQ(hidden.exit, 2) << refused;
        EXPECT_NE(hidden.err.find("varnex: --set takes +r or -r: only read-only can be changed here"),
                  std::string::npos)
            << refused << ": " << hidden.err;
    }
    EXPECT_TRUE(ReadOnly(dir / "p.vrk")) << "a refused list changes nothing";
    EXPECT_EQ(RunVarnex(dir, dir / "home", "props " + dir / "missing").exit, 1);
}

}  // namespace
