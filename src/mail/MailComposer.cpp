#include "mail/MailComposer.h"

#include <fcntl.h>  // the open flags gmime takes
#include <gmime/gmime.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"
#include "platform/FolderList.h"
#include "platform/Overwrite.h"
#include "platform/PathInfo.h"

namespace {

namespace fs = std::filesystem;

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

void InitGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

std::string FileNameOf(const MailDraft::Attachment& a) {
    if (!a.name.empty()) return a.name;
    return fs::path(a.path).filename().string();
}

// Adds every address of `text` ("Name <a@b>", "a@b", a list) to `list`; a text that holds no
// address (a bare name) is added as a mailbox without an address.
void AddAddresses(InternetAddressList* list, const std::string& text) {
    if (text.empty()) return;
    GPtr<InternetAddressList> parsed(internet_address_list_parse(nullptr, text.c_str()));
    if (parsed && internet_address_list_length(parsed.get()) > 0) {
        internet_address_list_append(list, parsed.get());
        return;
    }
    GPtr<InternetAddress> mailbox(internet_address_mailbox_new(text.c_str(), ""));
    internet_address_list_add(list, mailbox.get());
}

GMimeObject* AttachmentPart(const MailDraft::Attachment& a, std::string* error) {
    GError* gerror = nullptr;
    GPtr<GMimeStream> stream(g_mime_stream_fs_open(a.path.c_str(), O_RDONLY, 0, &gerror));
    if (!stream) {
        *error = a.path + ": " + (gerror ? gerror->message : std::strerror(errno));
        if (gerror) g_error_free(gerror);
        return nullptr;
    }
    GPtr<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    GMimePart* part = g_mime_part_new_with_type("application", "octet-stream");
    g_mime_part_set_content(part, content.get());
    g_mime_part_set_filename(part, FileNameOf(a).c_str());
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    return GMIME_OBJECT(part);
}

GMimeMessage* BuildMessage(const MailDraft& draft, std::string* error) {
    GMimeMessage* message = g_mime_message_new(TRUE);
    GPtr<GMimeMessage> owned(message);
    AddAddresses(g_mime_message_get_from(message), draft.from);
    for (const std::string& to : draft.to) AddAddresses(g_mime_message_get_to(message), to);
    for (const std::string& cc : draft.cc) AddAddresses(g_mime_message_get_cc(message), cc);
    g_mime_message_set_subject(message, draft.subject.c_str(), "utf-8");
    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(message, now);
    g_date_time_unref(now);
    char* id = g_mime_utils_generate_message_id("varnex.localhost");
    g_mime_message_set_message_id(message, id);
    g_free(id);

    GPtr<GMimeTextPart> body(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(body.get(), draft.text.c_str());
    if (draft.attachments.empty()) {
        g_mime_message_set_mime_part(message, GMIME_OBJECT(body.get()));
        return owned.release();
    }
    GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
    for (const MailDraft::Attachment& a : draft.attachments) {
        GPtr<GMimeObject> part(AttachmentPart(a, error));
        if (!part) return nullptr;
        g_mime_multipart_add(mixed.get(), part.get());
    }
    g_mime_message_set_mime_part(message, GMIME_OBJECT(mixed.get()));
    return owned.release();
}

// Creates every missing level of folder owner-only (0700), not only the last one.
bool MakeOwnerFolder(const std::string& folder, std::string* error) {
    if (MakeOwnerOnlyFolders(folder)) return true;
    *error = folder + ": " + std::strerror(errno);
    return false;
}

std::string StampNow() {
    char stamp[32] = {};
    time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

bool HasDesktopSession() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// The session's own runtime folder for hand-off copies, when $XDG_RUNTIME_DIR is a folder
// of this user's that nobody else may enter; empty otherwise.
std::string RuntimeCopiesFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    PathInfo info;
    if (runtime == nullptr || *runtime != '/' || !LookUpPath(runtime, &info, false) || info.kind != PathKind::Folder ||
        info.owner != CurrentUser() || (info.mode & 077) != 0)
        return {};
    return std::string(runtime) + "/varnex-mail";
}

std::string CopiesFolderFor(const std::string& emlPath) {
    std::string runtime = RuntimeCopiesFolder();
    if (!runtime.empty()) return runtime + "/" + fs::path(emlPath).stem().string();
    return emlPath.substr(0, emlPath.size() - 4) + ".files";
}

// Overwrites a regular file with zeros, then unlinks it; a folder's content first. Never
// follows a symbolic link (a link is only unlinked).
void RemoveOverwritten(const std::string& path) {
    switch (KindOfPath(path)) {
        case PathKind::Missing:
            return;
        case PathKind::Folder: {
            std::vector<std::string> names;
            ListFolder(path, names);
            for (const std::string& name : names) RemoveOverwritten(path + "/" + name);
            RemoveEmptyFolder(path);
            return;
        }
        case PathKind::File: {
            int error = 0;
            OverwriteWithZeros(path, &error);
            break;
        }
        default:
            break;
    }
    RemoveName(path);
}

// The mail program reads its attachments when it sends, maybe long after the hand-off: it
// gets copies of its own, owner-only, never the caller's files. A file the caller deletes
// after the hand-off is moved there instead, so that no second copy of it exists.
bool CopyAttachments(const MailDraft& draft, const std::string& folder, std::vector<std::string>& copies) {
    std::string error;
    for (size_t i = 0; i < draft.attachments.size(); ++i) {
        const MailDraft::Attachment& a = draft.attachments[i];
        std::string dir = folder + "/" + std::to_string(i);
        if (!MakeOwnerFolder(dir, &error)) return false;
        std::string copy = dir + "/" + fs::path(FileNameOf(a)).filename().string();
        bool moved = a.deleteAfter && AddName(a.path, copy) && RemoveName(a.path) && SetPermissions(copy, 0600);
        if (!moved && !CopyOwnerOnly(a.path, copy)) return false;
        copies.push_back(copy);
    }
    return true;
}

bool HandToMailProgram(const MailDraft& draft, const std::string& emlPath) {
    std::vector<std::string> copies;
    const std::string folder = CopiesFolderFor(emlPath);
    std::string error;
    if (!MakeOwnerFolder(fs::path(folder).parent_path().string(), &error) || !CopyAttachments(draft, folder, copies)) {
        RemoveOverwritten(folder);
        return false;
    }
    std::vector<std::string> args = {"xdg-email", "--utf8", "--subject", draft.subject, "--body", draft.text};
    for (const std::string& cc : draft.cc) args.insert(args.end(), {"--cc", cc});
    for (const std::string& copy : copies) args.insert(args.end(), {"--attach", copy});
    args.insert(args.end(), draft.to.begin(), draft.to.end());
    if (RunProgram(args) == 0) return true;
    RemoveOverwritten(folder);  // not taken: the message goes on by another way
    return false;
}

}  // namespace

bool ComposeMail(const MailDraft& draft, const std::string& outboxFolder, std::string* emlPath, std::string* error) {
    InitGMime();
    std::string ignored;
    if (error == nullptr) error = &ignored;
    std::string folder = outboxFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    if (!MakeOwnerFolder(folder, error)) return false;

    GPtr<GMimeMessage> message(BuildMessage(draft, error));
    if (!message) return false;

    std::string temp = folder + ".mail-XXXXXX";
    int fd = MakeUniqueFile(temp).Release();
    if (fd < 0) {
        *error = folder + ": " + std::strerror(errno);
        return false;
    }
    GPtr<GMimeStream> out(g_mime_stream_fs_new(fd));  // owns fd from here
    bool written = g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), nullptr, out.get()) >= 0 &&
                   g_mime_stream_flush(out.get()) == 0 && FlushOpenFile(fd);
    int savedErrno = errno;
    out.reset();
    if (!written) {
        *error = temp + ": " + std::strerror(savedErrno);
        RemoveName(temp);
        return false;
    }
    // A name of its own, never replacing a message already in the outbox.
    std::string suffix = temp.substr(temp.size() - 6);
    std::string final = folder + StampNow() + "-" + suffix + ".eml";
    for (int attempt = 0; !AddName(temp, final); ++attempt) {
        if (errno != EEXIST || attempt > 100) {
            *error = final + ": " + std::strerror(errno);
            RemoveName(temp);
            return false;
        }
        final = folder + StampNow() + "-" + suffix + "-" + std::to_string(attempt) + ".eml";
    }
    RemoveName(temp);
    if (emlPath) *emlPath = final;
    return true;
}

void RemoveOldHandOffCopies(const std::string& outboxFolder, std::chrono::seconds age) {
    const auto now = fs::file_time_type::clock::now();
    auto sweep = [&](const std::string& folder, const std::string& suffix) {
        std::error_code ec;
        std::vector<std::string> old;
        for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            std::error_code timeError;
            auto written = fs::last_write_time(it->path(), timeError);
            if (!it->is_symlink(timeError) && it->is_directory(timeError) && name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 && !timeError &&
                now - written >= age)
                old.push_back(it->path().string());
        }
        for (const std::string& path : old) RemoveOverwritten(path);
    };
    if (std::string runtime = RuntimeCopiesFolder(); !runtime.empty()) sweep(runtime, "");
    if (!outboxFolder.empty()) sweep(outboxFolder, ".files");
}

MailHandOff HandOffMail(const MailDraft& draft, const std::string& emlPath, const std::string& opener) {
    RemoveOldHandOffCopies(fs::path(emlPath).parent_path().string());
    if (HasDesktopSession() && ProgramOnPath("xdg-email") && HandToMailProgram(draft, emlPath)) {
        RemoveOverwritten(emlPath);
        return MailHandOff::kMailProgram;
    }
    if (!opener.empty() && RunProgram({opener, emlPath}) == 0) return MailHandOff::kOpener;
    return MailHandOff::kOutbox;
}
