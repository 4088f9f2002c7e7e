// The file-manager integration as installed: our MIME types match the bytes our writers put at
// the start of each file, every action file parses and calls the program on the selection, and
// a double-click (gio open) on a package under a real X server ends with the files restored.

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMimeDatabase>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "TestSupport.h"
#include "engine/CheckedRecordIo.h"
#include "formats/EncryptFlag.h"
#include "mail/MailLayout.h"
#include "platform/CFile.h"

namespace fs = std::filesystem;

namespace {

const std::string kBuild = VARNEX_BUILD_DIR;
const std::string kSource = VARNEX_SOURCE_DIR;

// Standard output of a shell command, and its exit status.
std::pair<int, std::string> Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, out};
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool Have(const std::string& program) { return Capture("command -v " + program).first == 0; }

std::string Hex(const std::string& bytes) {
    std::string out;
    char two[8];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "\\x%02x", c);
        out += two;
    }
    return out;
}

// Installs this build into `prefix` (under `destdir` when not empty); the log on failure.
void Install(const std::string& prefix, const std::string& destdir, const std::string& log) {
    const std::string command = (destdir.empty() ? "env -u DESTDIR" : "env DESTDIR='" + destdir + "'") +
                                " '" VARNEX_CMAKE "' --install '" + kBuild + "' --prefix '" + prefix + "' >'" + log +
                                "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(log);
}

}  // namespace

// The first 8 bytes of each kind as our writers put them on disk, next to the magic of the
// installed MIME types: every written kind is matched by its own type and by no other.
TEST(FileManagerMime, EachKindsLeadingBytesAreItsTypesMagic) {
    TempDir dir;
    std::map<std::string, std::set<std::string>> written;  // type -> leading bytes
    const struct {
        uint8_t kind;
        const char* type;
    } kinds[] = {{kKindPassword, "application/x-varnex-password-package"},
                 {kKindEnvelope, "application/x-varnex-envelope"},
                 {kKindShared, "application/x-varnex-envelope"},
                 {kKindSignUser, "application/x-varnex-signature"},
                 {kKindSignMail, "application/x-varnex-signature"}};
    CheckedRecordIo io;
    for (const auto& k : kinds) {
        for (const char* version : {"30", "10"}) {
            if (std::string(version) == "10" && (k.kind == kKindSignUser || k.kind == kKindSignMail)) continue;
            EncryptFlag head{};
            std::memcpy(head.magic, "KF", 2);
            std::memcpy(head.version, version, 2);
            head.kind = k.kind;
            head.cipherId = 46;
            const std::string path = dir / "head";
            CFile file;
            CFileException error;
            ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite, &error));
            ASSERT_TRUE(WriteHead(io, &file, head));
            file.Close();
            written[k.type].insert(Hex(ReadFile(path).substr(0, 8)));
        }
    }
    // Mail packages: the 40 leading header bytes are sealed as one block; type 1 is what every
    // writer stores.
    MailHeader mail{};
    std::memcpy(mail.magic, kMailMagic, 2);
    std::memcpy(mail.version, kMailVersion, 2);
    mail.mailType = kMailTypePublicKey;
    mail.mailFlag = kMailFlagEncrypt | kMailFlagSign;
    char sealed[kMailHeaderSealed];
    ASSERT_TRUE(io.Encipher(reinterpret_cast<const char*>(&mail), kMailHeaderSealed, sealed));
    written["application/x-varnex-mail"].insert(Hex(std::string(sealed, 8)));

    // Known bytes: an envelope of this version starts so on disk.
    EXPECT_TRUE(written["application/x-varnex-envelope"].count("\\x20\\x4f\\x58\\x39\\x69\\x00\\x00\\x00"));

    const std::string xml = ReadFile(kSource + "/desktop/integration/varnex-mime.xml");
    // Each value="..." belongs to the mime-type element before it.
    std::map<std::string, std::set<std::string>> declared;
    const std::regex element(R"re(<mime-type type="([^"]+)"|<match type="string" offset="0" value="([^"]+)")re");
    std::string current;
    for (std::sregex_iterator it(xml.begin(), xml.end(), element), end; it != end; ++it) {
        if ((*it)[1].matched)
            current = (*it)[1];
        else
            declared[current].insert((*it)[2]);
    }
    EXPECT_EQ(declared, written);
}

// Every installed action file of the four file managers parses as a desktop file and runs
// "varnex-desktop ACTION -- %F" by its absolute installed path, for every action; the launcher
// validates; a packager's DESTDIR receives everything and no database is built there.
TEST(FileManagerActions, EveryInstalledFileParsesAndCallsTheProgram) {
    TempDir dir;
    const std::string stage = dir / "stage";
    ASSERT_NO_FATAL_FAILURE(Install("/usr", stage, dir / "install.log"));
    const std::string share = stage + "/usr/share";
    const std::string exec = "/usr/bin/varnex-desktop";
    const std::set<std::string> actions = {"open",  "verify", "pack", "envelope", "encrypt",
                                           "share", "sign",   "mail", "wipe",     "properties"};
    EXPECT_FALSE(fs::exists(share + "/mime/mime.cache")) << "a staged install built the MIME database";
    EXPECT_FALSE(fs::exists(share + "/applications/mimeinfo.cache"));

    // file manager -> the actions whose Exec lines it found
    std::map<std::string, std::set<std::string>> found;
    const std::regex execLine("^" + exec + " ([a-z]+) -- %F$");
    auto parse = [&](const std::string& manager, const std::string& path, const char* group, const char* key) {
        GKeyFile* file = g_key_file_new();
        GError* error = nullptr;
        const bool loaded = g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, &error);
        EXPECT_TRUE(loaded) << path << ": " << (error ? error->message : "");
        if (error) g_error_free(error);
        gsize count = 0;
        gchar** groups = loaded ? g_key_file_get_groups(file, &count) : nullptr;
        for (gsize i = 0; i < count; ++i) {
            if (!g_str_has_prefix(groups[i], group)) continue;
            gchar* value = g_key_file_get_string(file, groups[i], key, nullptr);
            std::smatch m;
            const std::string line = value ? value : "";
            if (std::regex_match(line, m, execLine))
                found[manager].insert(m[1]);
            else
                ADD_FAILURE() << path << " [" << groups[i] << "] " << key << "=" << line;
            g_free(value);
        }
        g_strfreev(groups);
        g_key_file_free(file);
    };
    for (const auto& entry : fs::directory_iterator(share + "/kio/servicemenus")) {
        parse("dolphin", entry.path(), "Desktop Action ", "Exec");
        EXPECT_TRUE((fs::status(entry.path()).permissions() & fs::perms::owner_exec) != fs::perms::none)
            << entry.path() << ": Dolphin runs only executable service menus";
    }
    for (const auto& entry : fs::directory_iterator(share + "/nemo/actions"))
        parse("nemo", entry.path(), "Nemo Action", "Exec");
    for (const auto& entry : fs::directory_iterator(share + "/file-manager/actions"))
        parse("caja", entry.path(), "X-Action-Profile ", "Exec");
    // The Nautilus extension holds its table in python: each action is listed with the program.
    const std::string nautilus = ReadFile(share + "/nautilus-python/extensions/varnex.py");
    EXPECT_NE(nautilus.find("PROGRAM = '" + exec + "'"), std::string::npos);
    for (const std::string& action : actions)
        if (nautilus.find("('" + action + "', ") != std::string::npos) found["nautilus"].insert(action);
    for (const char* manager : {"dolphin", "nemo", "caja", "nautilus"}) EXPECT_EQ(found[manager], actions) << manager;

    const std::string launcher = share + "/applications/varnex-desktop.desktop";
    parse("launcher", launcher, "Desktop Entry", "Exec");
    EXPECT_EQ(found["launcher"], std::set<std::string>{"open"});
    if (Have("desktop-file-validate")) {
        const auto [status, out] = Capture("desktop-file-validate '" + launcher + "'");
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(out, "");
    } else {
        std::printf("note: desktop-file-validate missing (Debian desktop-file-utils); launcher not validated\n");
    }
    // Nautilus loads extensions into the system's python, whatever python3 a PATH names first.
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    if (Capture(python + " -c \"import gi; gi.require_version('Nautilus', '4.0')\"").first == 0) {
        const auto [status, out] =
            Capture(python + " -c \"import importlib.util as u; s = u.spec_from_file_location('varnex', '" + share +
                    "/nautilus-python/extensions/varnex.py'); m = u.module_from_spec(s); s.loader.exec_module(m); "
                    "assert len(m.ACTIONS) == 10 and m.VarnexMenu\"");
        EXPECT_EQ(status, 0) << out;
    } else {
        std::printf("note: python3-nautilus (Nautilus 4.0) missing; the extension was not imported\n");
    }
}

namespace {

// An X server of our own on a display nobody uses, waited for, and stopped by its pid.
class OwnXServer {
public:
    OwnXServer() {
        for (int n = 90; n < 200 && m_pid <= 0; ++n) {
            if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock") ||
                fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
                continue;
            const std::string display = ":" + std::to_string(n);
            const pid_t pid = fork();
            if (pid == 0) {
                freopen("/dev/null", "w", stdout);
                freopen("/dev/null", "w", stderr);
                execlp("Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", "-screen", "0", "1024x768x24", nullptr);
                _exit(127);
            }
            for (int i = 0; i < 100; ++i) {
                if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
                    m_pid = pid;
                    m_display = display;
                    return;
                }
                if (waitpid(pid, nullptr, WNOHANG) == pid) break;  // another took the display first
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (m_pid <= 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }
    ~OwnXServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// The running process whose program is `exe`, with its arguments; pid 0 when none.
std::pair<pid_t, std::vector<std::string>> ProcessOf(const std::string& exe) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec;
        if (fs::read_symlink(entry.path() / "exe", ec) != exe) continue;
        std::vector<std::string> args;
        const std::string line = ReadFile(entry.path() / "cmdline");
        for (size_t at = 0; at < line.size();) {
            const size_t end = line.find('\0', at);
            args.push_back(line.substr(at, end - at));
            at = end == std::string::npos ? line.size() : end + 1;
        }
        return {std::stoi(name), args};
    }
    return {0, {}};
}

template <typename Check>
bool WaitFor(Check check, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (check()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// The visible window of process `pid` other than `besides`, once there is one and it has the
// keyboard focus (there is no window manager to give it: xdotool sets it and waits for it).
std::string FocusedWindow(pid_t pid, const std::string& besides) {
    std::string id;
    WaitFor(
        [&] {
            const auto [status, out] = Capture("xdotool search --onlyvisible --pid " + std::to_string(pid));
            const std::string first = out.substr(0, out.find('\n'));
            if (status != 0 || first.empty() || first == besides) return false;
            if (Capture("timeout 5 xdotool windowfocus --sync " + first).first != 0) return false;
            id = first;
            return true;
        },
        30);
    return id;
}

}  // namespace

// As a user would: installed into a temporary prefix, our files are ours to GIO and to Qt by
// content and by name, our launcher handles them, and gio open on a password package starts
// "varnex-desktop open", whose password dialog takes the typed password; the files come back
// byte for byte.
TEST(FileManagerEndToEnd, GioOpenOfAPackageRestoresItsFiles) {
    for (const char* tool : {"Xvfb", "xdotool", "gio", "update-mime-database"})
        if (!Have(tool)) GTEST_SKIP() << tool << " missing (Debian xvfb, xdotool, libglib2.0-bin, shared-mime-info)";
    TempDir dir;
    const std::string prefix = dir / "prefix";
    ASSERT_NO_FATAL_FAILURE(Install(prefix, "", dir / "install.log"));

    const std::string home = dir / "home", pw = dir / "pw";
    WriteFile(pw, "secret1\n");
    chmod(pw.c_str(), 0600);
    ASSERT_EQ(RunVarnex(dir, home, "--new-password-file '" + pw + "' user add alice --name Alice --email a@x.org").exit,
              0);
    MakeTree(dir / "docs", {{"a.txt", 6}, {"sub/"}, {"sub/b.bin", 200000}});
    fs::copy(dir / "docs", dir / "expected", fs::copy_options::recursive);
    // A copy takes the time it is made; the restore gives back the packed files' own.
    for (const auto& entry : fs::recursive_directory_iterator(dir / "docs"))
        fs::last_write_time(fs::path(dir / "expected") / entry.path().lexically_relative(dir / "docs"),
                            entry.last_write_time());
    const std::string envelope = dir / "report", package = dir / "docs.vrp";
    ASSERT_EQ(RunVarnex(dir, home,
                        "--password-file '" + pw + "' envelope -o '" + envelope + "' --to alice '" +
                            (dir / "docs/a.txt") + "'")
                  .exit,
              0);
    fs::copy_file(envelope, envelope + ".vrk");
    ASSERT_EQ(
        RunVarnex(dir, home, "--new-password-file '" + pw + "' pack -o '" + package + "' '" + (dir / "docs") + "'")
            .exit,
        0);
    fs::copy(package, dir / "renamed.txt");
    fs::remove_all(dir / "docs");

    OwnXServer x;
    ASSERT_FALSE(x.Display().empty()) << "Xvfb did not start";
    // Our prefix first; no user data folder (an empty XDG_DATA_HOME would hide it from GIO, an
    // unset one with this HOME names an empty folder); a settings folder with no mimeapps.list.
    setenv("XDG_DATA_DIRS", (prefix + "/share:/usr/share").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", (dir / "user").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("VARNEX_HOME", home.c_str(), 1);
    setenv("DISPLAY", x.Display().c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");  // the program's windows go to that display, not offscreen

    // What GIO (Nautilus, Nemo, Caja) and Qt (Dolphin) take each file for.
    QMimeDatabase qt;
    const std::pair<std::string, std::string> expected[] = {{envelope, "application/x-varnex-envelope"},
                                                            {envelope + ".vrk", "application/x-varnex-envelope"},
                                                            {package, "application/x-varnex-password-package"},
                                                            {dir / "renamed.txt", "text/plain"}};
    for (const auto& [file, type] : expected) {
        const auto [status, out] = Capture("gio info -a standard::content-type '" + file + "'");
        EXPECT_NE(out.find("standard::content-type: " + type + "\n"), std::string::npos) << "gio: " << file << "\n"
                                                                                         << out;
        EXPECT_EQ(qt.mimeTypeForFile(QString::fromStdString(file)).name().toStdString(), type)
            << "QMimeDatabase: " << file;
    }
    for (const char* type : {"application/x-varnex-envelope", "application/x-varnex-password-package"}) {
        // The quotes around the type follow the locale.
        const auto [status, out] = Capture(std::string("gio mime ") + type);
        const std::string first = out.substr(0, out.find('\n'));
        EXPECT_TRUE(first.starts_with("Default application for ") && first.find(type) != std::string::npos &&
                    first.ends_with(": varnex-desktop.desktop"))
            << out;
    }

    // The double-click.
    // Not through a pipe: the program it starts would hold the pipe open until it ends.
    ASSERT_EQ(std::system(("gio open '" + package + "' >/dev/null 2>&1 </dev/null").c_str()), 0);
    const std::string program = prefix + "/bin/varnex-desktop";
    std::pair<pid_t, std::vector<std::string>> running;
    // Its arguments show once its exec is through: the program link is set a moment before.
    ASSERT_TRUE(WaitFor([&] { return (running = ProcessOf(program)).first > 0 && !running.second.empty(); }, 30))
        << "varnex-desktop did not start";
    EXPECT_EQ(running.second, (std::vector<std::string>{program, "open", "--", package}));
    const pid_t pid = running.first;
    // The password dialog, then the folder choice proposing the package's folder.
    const std::string password = FocusedWindow(pid, "");
    ASSERT_FALSE(password.empty()) << "no password dialog";
    // Two runs of xdotool: a key chained after "type" in one run does not reach the dialog.
    EXPECT_EQ(Capture("timeout 20 xdotool type --delay 30 secret1").first, 0);
    EXPECT_EQ(Capture("timeout 20 xdotool key Return").first, 0);
    const std::string folder = FocusedWindow(pid, password);
    ASSERT_FALSE(folder.empty()) << "no folder choice; windows shown: "
                                 << Capture("xdotool search --onlyvisible --name . getwindowname %@").second;
    EXPECT_EQ(Capture("timeout 20 xdotool key Return").first, 0);
    // Gone from /proc, or a zombie nobody reaps (its program link is then unreadable).
    const bool ended = WaitFor([&] { return ProcessOf(program).first != pid; }, 60);
    if (!ended) kill(pid, SIGTERM);
    ASSERT_TRUE(ended) << "varnex-desktop open did not end";
    ExpectSameTree(dir / "expected", dir / "docs");

    // A file that only its name makes ours is opened too, and refused with a message; it stays.
    const std::string fake = dir / "fake.vrk";
    WriteFile(fake, "not a package\n");
    ASSERT_EQ(std::system(("gio open '" + fake + "' >/dev/null 2>&1 </dev/null").c_str()), 0);
    // Its arguments show once its exec is through: the program link is set a moment before.
    ASSERT_TRUE(WaitFor([&] { return (running = ProcessOf(program)).first > 0 && !running.second.empty(); }, 30));
    const std::string refusal = FocusedWindow(running.first, "");
    ASSERT_FALSE(refusal.empty()) << "no message";
    // Return answers the message box once it has taken the focus; pressed until the program ends.
    const bool answered = WaitFor(
        [&] {
            if (ProcessOf(program).first != running.first) return true;
            Capture("timeout 5 xdotool windowfocus --sync " + refusal);
            Capture("timeout 5 xdotool key Return");
            return false;
        },
        30);
    EXPECT_TRUE(answered) << "the refusal was not answered";
    EXPECT_EQ(ReadFile(fake), "not a package\n");
}
