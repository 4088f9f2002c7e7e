// varnex decrypt as a script runs it, where what it says must match what it did: which packages
// it wiped, why it restored nothing, and which files it could not make.

#include <unistd.h>

#include <filesystem>

#include "CliTest.h"

namespace fs = std::filesystem;

namespace {

class DecryptCommand : public CliTest {
protected:
    DecryptCommand() {
        fs::create_directories(dir / "src");
        WriteFile(dir / "src/a.txt", "alpha");
        WriteFile(dir / "pw", "secret12\n");
        WriteFile(dir / "short", "abc\n");
        WriteFile(dir / "wrong", "secret13\n");
        for (const char* file : {"pw", "short", "wrong"})
            fs::permissions(dir / file, fs::perms::owner_read | fs::perms::owner_write);
    }
    CliOutcome Pack(const std::string& package) {
        return Varnex("--new-password-file " + dir / "pw" + " pack -o " + package + " " + dir / "src");
    }
    CliOutcome Decrypt(const std::string& args, const std::string& password = "pw") {
        return Varnex("--package-password-file " + dir / password + " decrypt " + args);
    }
};

// How many lines of `text` hold `part`.
size_t LinesWith(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
    return n;
}

}  // namespace

// "wiped" is said only of a package this run restored and wiped: a name given twice is one
// package restored once; a package named through a link, or with other names, is kept with all
// its names, and said so.
TEST_F(DecryptCommand, SaysWipedOnlyOfThePackageItWiped) {
    ASSERT_EQ(Pack(dir / "dup.pkg").exit, 0);
    auto twice = Varnex(
        "--package-password-file " + dir / "pw" + " decrypt --to " + dir / "o dup.pkg ./dup.pkg " + dir / "dup.pkg",
        "-C " + dir.Path());
    EXPECT_EQ(twice.exit, 0) << twice.err;
    EXPECT_EQ(LinesWith(twice.err, "varnex: dup.pkg: restored; the package was wiped"), 1u) << twice.err;
    EXPECT_EQ(LinesWith(twice.err, "varnex: "), 2u) << twice.err;  // and the summary
    EXPECT_EQ(ReadFile(dir / "o/src/a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(dir / "dup.pkg"));

    ASSERT_EQ(Pack(dir / "real.pkg").exit, 0);
    fs::create_symlink(dir / "real.pkg", dir / "link.pkg");
    auto linked = Decrypt("--to " + dir / "l " + dir / "link.pkg");
    EXPECT_EQ(linked.exit, 0) << linked.err;
    EXPECT_NE(linked.err.find("link.pkg: 加密文件未被删除: 所给的名称是指向它的符号链接."), std::string::npos)
        << linked.err;
    EXPECT_EQ(linked.err.find("wiped"), std::string::npos) << linked.err;
    EXPECT_TRUE(fs::is_symlink(dir / "link.pkg"));
    EXPECT_TRUE(fs::is_regular_file(dir / "real.pkg"));
    EXPECT_EQ(ReadFile(dir / "l/src/a.txt"), "alpha");

    fs::create_hard_link(dir / "real.pkg", dir / "hard.pkg");
    auto hard = Decrypt("--to " + dir / "h " + dir / "hard.pkg");
    EXPECT_TRUE(Ends(hard, 0, "hard.pkg: 加密文件未被删除: 它还有其他名称(硬链接)."));
    EXPECT_TRUE(fs::exists(dir / "hard.pkg") && fs::exists(dir / "real.pkg"));
}

// Each failure is said once, naming the file it is about: a package password too short for the
// dialog (for the whole batch), a file shorter than a head (not again by the look at its kind).
TEST_F(DecryptCommand, EachFailureIsSaidOnceNamingItsFile) {
    ASSERT_EQ(Pack(dir / "p1.pkg").exit, 0);
    ASSERT_EQ(Pack(dir / "p2.pkg").exit, 0);
    WriteFile(dir / "zero.bin", "");
    const std::string shortFile = dir / "short", zero = dir / "zero.bin";
    const struct {
        std::string args, password, said;
    } rows[] = {
        {"--test " + dir / "p1.pkg " + dir / "p2.pkg", "short",
         shortFile + ": the password needs at least 6 characters"},
        {"--to " + dir / "o " + dir / "p1.pkg " + dir / "p2.pkg", "short",
         shortFile + ": the password needs at least 6 characters"},
        {"--keep --to " + dir / "o " + zero, "pw", zero + ": 这不是一个加密文件, 或者文件已被破坏."},
        {"--test " + zero, "pw", zero + ": 这不是一个加密文件, 或者文件已被破坏."},
    };
    for (const auto& row : rows) {
        auto o = Decrypt(row.args, row.password);
        EXPECT_EQ(o.exit, 1) << row.args << ": " << o.err;
        EXPECT_EQ(LinesWith(o.err, "varnex: " + row.said), 1u) << row.args << ": " << o.err;
        EXPECT_EQ(LinesWith(o.err, "varnex: ") - LinesWith(o.err, "files restored"), 1u) << row.args << ": " << o.err;
    }
    EXPECT_TRUE(fs::exists(dir / "p1.pkg") && fs::exists(dir / "p2.pkg"));
    EXPECT_FALSE(fs::exists(dir / "o"));
}

// A restore that went on past a file it could not make, or kept a damaged content, fails (exit
// 1), and the question names the file; a restore that failed leaves none of the --to folders it
// made.
TEST_F(DecryptCommand, ARestoreThatLeftFilesBehindFails) {
    ASSERT_EQ(Pack(dir / "p.pkg").exit, 0);
    std::string bytes = ReadFile(dir / "p.pkg");
    bytes[bytes.size() - 3] ^= 0x40;  // inside the last content
    WriteFile(dir / "damaged.pkg", bytes);
    fs::create_directories(dir / "o9/src/a.txt");  // a folder where the file goes
    const struct {
        std::string args, said;
    } rows[] = {
        {"--to " + dir / "o9 " + dir / "p.pkg", "创建文件\"" + dir / "o9/src/a.txt" + "\"失败.Is a directory."},
        {"--to " + dir / "o8 " + dir / "damaged.pkg", "文件内容CRC校验错, 是否继续?"},
    };
    for (const auto& row : rows) {
        auto o = Varnex("--package-password-file " + dir / "pw" + " --answers replace=all,yes-no=yes decrypt --keep " +
                        row.args);
        EXPECT_TRUE(Ends(o, 1, row.said)) << row.args;
    }
    EXPECT_EQ(ReadFile(dir / "o8/src/a.txt").size(), 5u) << "the damaged file was kept as asked";

    EXPECT_TRUE(Ends(Decrypt("--to " + dir / "nn/a/b " + dir / "p.pkg", "wrong"), 1, "对不起，密码错!"));
    EXPECT_FALSE(fs::exists(dir / "nn"));
}

// A name from the command line is printed escaped wherever it shows: a line feed or an escape
// sequence in it cannot forge a line or drive the terminal.
TEST_F(DecryptCommand, HostileNamesArePrintedEscaped) {
    const std::string name = "ev\x1b[31mil\nx.pkg", shown = "ev\\x1b[31mil\\nx.pkg";
    auto packed = Pack("'" + dir / name + "'");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    EXPECT_EQ(packed.out, dir / shown + "\n");
    EXPECT_TRUE(Ends(Pack("'" + dir / name + "'"), 1, shown + " exists (use --force"));
    EXPECT_TRUE(Ends(Decrypt("--test '" + dir / name + "'"), 0, shown + ": sound"));
    EXPECT_TRUE(
        Ends(Decrypt("--to " + dir / "o '" + dir / name + "'"), 0, shown + ": restored; the package was wiped"));
    for (const std::string& text : {packed.out, packed.err}) EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

// "-" is standard input or output: envelope writes its package there (no file named "-"), and
// list and decrypt read one from there; a restore from standard input needs --to.
TEST_F(DecryptCommand, PackagesGoToStandardOutputAndComeFromStandardInput) {
    AddUsers({"alice", "bob"});
    auto sent = As("alice", "envelope -o - --to bob " + dir / "src");
    ASSERT_EQ(sent.exit, 0) << sent.err;
    WriteFile(dir / "e.vrk", sent.out);
    EXPECT_FALSE(fs::exists(fs::current_path() / "-"));
    ASSERT_EQ(Pack(dir / "p.pkg").exit, 0);
    const std::string withPassword = "--package-password-file " + dir / "pw" + " ";
    const struct {
        std::string args, input;
        int exit;
        std::string said;  // on standard error, or on standard output when it begins with "out:"
    } rows[] = {
        {"decrypt --test -", dir / "e.vrk", 0, "varnex: -: sound; sent by Alice"},
        {"list -", dir / "p.pkg", 0, "out:src/a.txt"},
        {withPassword + "decrypt --test -", dir / "p.pkg", 0, "varnex: -: sound"},
        {withPassword + "decrypt --to " + dir / "o -", dir / "p.pkg", 0, "1 file restored"},
        {withPassword + "decrypt -", dir / "p.pkg", 2, "restored only with --to DIR"},
        {"list - -", dir / "p.pkg", 2, "standard input (-) is named twice"},
    };
    for (const auto& row : rows) {
        auto o = As("bob", row.args, row.input);
        const bool out = row.said.starts_with("out:");
        EXPECT_EQ(o.exit, row.exit) << row.args << ": " << o.err;
        EXPECT_NE((out ? o.out : o.err).find(out ? row.said.substr(4) : row.said), std::string::npos)
            << row.args << ": " << o.out << o.err;
    }
    EXPECT_EQ(ReadFile(dir / "o/src/a.txt"), "alpha");
    EXPECT_TRUE(fs::exists(dir / "p.pkg")) << "the package read from standard input is not touched";
}
