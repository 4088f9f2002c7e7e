#include "package/FileMaker.h"

#include <sys/resource.h>

#include <algorithm>
#include <system_error>

#include "platform/Overwrite.h"

namespace {

// A directory record's path as OpenBelow records the folders it makes: names joined by one
// separator, without empty or "." steps.
std::string Normalised(const std::string& relative) {
    std::string out;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string name = relative.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        out += (out.empty() ? "" : "/") + name;
    }
    return out;
}

}  // namespace

FileMaker::FileMaker(const OutputFolder& output, const std::string& base, Upcoming upcoming)
    : m_output(output), m_base(base), m_upcoming(std::move(upcoming)), m_unreachable(m_upcoming.folders.size()) {
    // A quarter of the descriptors the process may open at most: the restore's own files,
    // folders and package must never find the table full.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        m_lookAhead = std::min<size_t>(kLookAhead, limit.rlim_cur / 4);
    try {
        m_thread = std::thread(&FileMaker::Run, this);
    } catch (const std::system_error&) {
        // Without the thread the restore makes every file itself.
    }
}

FileMaker::~FileMaker() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    m_ready.clear();
    m_folder.reset();
    // Deepest first: a folder made inside another made one is removed before it.
    for (auto made = m_made.rbegin(); made != m_made.rend(); ++made) {
        auto below = m_entered.lower_bound(*made + "/");
        const bool entered = m_entered.count(*made) != 0 ||
                             (below != m_entered.end() && below->compare(0, made->size() + 1, *made + "/") == 0);
        if (!entered) m_output.RemoveBelowIfEmpty(*made);
    }
}

void FileMaker::Entered(const std::string& relative) { m_entered.insert(Normalised(relative)); }

std::unique_ptr<FileMaker::Made> FileMaker::Take(size_t index) {
    std::unique_ptr<Made> taken;
    std::map<size_t, std::unique_ptr<Made>> passed;  // removed once the lock is given back
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_at = index;
        auto end = m_ready.upper_bound(index);
        for (auto it = m_ready.begin(); it != end;) {
            if (it->first == index)
                taken = std::move(it->second);
            else
                passed.emplace(it->first, std::move(it->second));
            it = m_ready.erase(it);
        }
    }
    m_changed.notify_all();
    return taken;
}

size_t FileMaker::Next() const {
    const auto& files = m_upcoming.files;
    size_t next = std::max(m_cursor, m_at + 1);
    const size_t folder = m_at < files.size() ? files[m_at].folder : files.size();
    while (next < files.size() && (files[next].folder == folder || m_unreachable[files[next].folder])) ++next;
    return next;
}

void FileMaker::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        size_t next = 0;
        m_changed.wait(lock, [&] {
            return m_stop || (m_ready.size() < m_lookAhead && (next = Next()) < m_upcoming.files.size());
        });
        if (m_stop) return;
        m_cursor = next + 1;
        lock.unlock();
        std::unique_ptr<Made> made;
        try {
            made = Make(m_upcoming.files[next]);
        } catch (const std::exception&) {
            // Out of memory, say: the restore makes this file itself.
        }
        lock.lock();
        if (made && next > m_at) {
            m_ready.emplace(next, std::move(made));
        } else if (made) {
            // The restore went past it meanwhile: removed without holding it up.
            lock.unlock();
            made.reset();
            lock.lock();
        }
    }
}

std::unique_ptr<FileMaker::Made> FileMaker::Make(const Upcoming::File& file) {
    if (file.folder != m_folderIndex) {
        m_folderIndex = file.folder;
        auto fd = std::make_shared<UniqueFd>();
        int error = 0;
        if (m_output.OpenBelow(m_upcoming.folders[file.folder], *fd, &error, &m_made) == OutputFolder::kOk &&
            IdentityOf(fd->Get(), &m_folderIdentity)) {
            m_folder = std::move(fd);
        } else {
            m_folder.reset();
            m_unreachable[file.folder] = true;
        }
    }
    // A name already taken is the restore's to ask about.
    if (!m_folder || KindAt(m_folder->Get(), file.name.c_str()) != PathKind::Missing) return nullptr;
    auto made = std::make_unique<Made>();
    made->folder = m_folder;
    made->folderIdentity = m_folderIdentity;
    made->name = file.name;
    made->output = m_base + m_upcoming.folders[file.folder] + file.name;
    made->file = std::make_unique<CAtomicFile>();
    if (!made->file->CreateIn(m_folder->Get(), file.name, made->output, nullptr, kRestoredFileMode)) return nullptr;
    return made;
}
