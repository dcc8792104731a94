#include "platform/linux/TemporaryJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vask {

namespace {

constexpr char kJournalSuffix[] = ".journal";
constexpr std::string_view kInfoSuffix = ".trashinfo";
// An empty journal of a live process is one being born (created, not yet written), unless it is older than
// this.
constexpr time_t kEmptyJournalAgeSeconds = 3600;

std::string Encode(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || c == '/' || c == '.' || c == '_' || c == '-';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

bool Decode(std::string_view text, std::string& out) {
    out.clear();
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = hex(text[i + 1]);
        const int low = hex(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return !out.empty();
}

bool ParseNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

std::string RandomHex() {
    unsigned int value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
        value =
            static_cast<unsigned int>(::getpid()) * 2654435761u ^ static_cast<unsigned int>(::time(nullptr));
    }
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// Creates the folder and its missing parents, the new ones private to this user.
Status MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return Status::Error(errno, level, "mkdir");
    }
    return Status::Ok();
}

std::string_view AbsoluteOrEmpty(const std::optional<std::string>& value) {
    if (!value || value->empty() || (*value)[0] != '/') return {};
    return *value;
}

// False when the process whose id begins the journal's name ("<pid>-...") is certainly gone.
bool ProcessMayLive(const std::string& journalName) {
    std::uint64_t pid = 0;
    const std::size_t dash = journalName.find('-');
    if (dash == std::string::npos || !ParseNumber(std::string_view(journalName).substr(0, dash), pid) ||
        pid == 0 || pid > 0x7fffffff) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

enum class Outcome { Removed, NotOurs, Retry };

Outcome FromErrno(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP ? Outcome::NotOurs : Outcome::Retry;
}

// Opens the recorded folder (following links: only its identity counts) and checks that identity.
Outcome OpenRecordedFolder(const TemporaryJournal::Record& record, int& fd) {
    fd = ::open(record.folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) return Outcome::Retry;
    if (st.st_dev != record.folderDevice || st.st_ino != record.folderInode) return Outcome::NotOurs;
    return Outcome::Removed;  // meaning: opened and checked
}

// Removes name from folder when it is still the recorded file of this user.
Outcome RemoveIfRecorded(int folder, const std::string& name, const TemporaryJournal::Record& record) {
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(errno);
    if (!S_ISREG(st.st_mode) || st.st_dev != record.fileDevice || st.st_ino != record.fileInode ||
        st.st_uid != ::geteuid()) {
        return Outcome::NotOurs;
    }
    if (::unlinkat(folder, name.c_str(), 0) != 0) return FromErrno(errno);
    return Outcome::Removed;
}

Outcome RemoveLeftover(const TemporaryJournal::Record& record) {
    if (record.fileDevice == 0 && record.fileInode == 0) return Outcome::NotOurs;  // never proven ours
    int folder = -1;
    Outcome opened = OpenRecordedFolder(record, folder);
    if (opened != Outcome::Removed) {
        if (folder >= 0) ::close(folder);
        return opened;
    }
    Outcome result;
    if (record.kind == TemporaryJournal::Kind::Copy) {
        result = RemoveIfRecorded(folder, record.name, record);
    } else {
        // An info file whose entry reached files/ is a real one, whatever the journal says. ".." is the info
        // folder's own parent, the trash folder; files/ in it is never a link.
        const int files = ::openat(folder, "../files", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (files < 0) {
            result = FromErrno(errno);
        } else if (::fstatat(files, record.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            result = Outcome::NotOurs;
        } else if (errno != ENOENT) {
            result = Outcome::Retry;
        } else {
            result = RemoveIfRecorded(folder, record.name + std::string(kInfoSuffix), record);
        }
        if (files >= 0) ::close(files);
    }
    ::close(folder);
    return result;
}

}  // namespace

std::string TemporaryJournalFolder(Environment& environment) {
    std::string base(AbsoluteOrEmpty(environment.Get("XDG_STATE_HOME")));
    if (base.empty()) {
        base = AbsoluteOrEmpty(environment.Get("HOME"));
        if (base.empty()) return {};
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        base += "/.local/state";
    }
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + "/Velumark/";
}

std::string FormatJournalRecord(char sign, const TemporaryJournal::Record& record) {
    return std::string(1, sign) + (record.kind == TemporaryJournal::Kind::Copy ? " c " : " i ") +
           std::to_string(record.folderDevice) + " " + std::to_string(record.folderInode) + " " +
           std::to_string(record.fileDevice) + " " + std::to_string(record.fileInode) + " " +
           Encode(record.folderPath) + " " + Encode(record.name) + "\n";
}

bool ParseJournalRecord(const std::string& line, char& sign, TemporaryJournal::Record& record) {
    std::vector<std::string_view> fields;
    std::string_view rest(line);
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        fields.push_back(rest.substr(0, space));
        if (space == std::string_view::npos) break;
        rest.remove_prefix(space + 1);
    }
    if (fields.size() != 8 || fields[0].size() != 1 || (fields[0][0] != '+' && fields[0][0] != '-')) {
        return false;
    }
    if (fields[1] != "c" && fields[1] != "i") return false;
    sign = fields[0][0];
    record.kind = fields[1] == "c" ? TemporaryJournal::Kind::Copy : TemporaryJournal::Kind::TrashInfo;
    return ParseNumber(fields[2], record.folderDevice) && ParseNumber(fields[3], record.folderInode) &&
           ParseNumber(fields[4], record.fileDevice) && ParseNumber(fields[5], record.fileInode) &&
           Decode(fields[6], record.folderPath) && Decode(fields[7], record.name) &&
           record.folderPath[0] == '/' && record.name.find('/') == std::string::npos && record.name != "." &&
           record.name != "..";
}

TemporaryJournal::TemporaryJournal(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

TemporaryJournal::~TemporaryJournal() {
    CloseIfSettled();
    if (fd_ >= 0) ::close(fd_);  // records left: the journal stays, its lock goes with the descriptor
}

TemporaryJournal::Key TemporaryJournal::KeyOf(const Record& record) {
    return Key{static_cast<int>(record.kind), record.folderDevice, record.folderInode, record.name};
}

Status TemporaryJournal::Open() {
    if (fd_ >= 0) return Status::Ok();
    if (folder_.empty() || folder_[0] != '/') return Status::Error(ENOENT, "$XDG_STATE_HOME", "journal");
    const Status made = MakeFolders(folder_);
    if (!made) return made;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string name = std::to_string(::getpid()) + "-" + RandomHex() + kJournalSuffix;
        const int fd = ::open((folder_ + name).c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return Status::Error(errno, folder_ + name, "create journal");
        }
        // Locked for this process's life: a journal whose lock is free belongs to a run that ended. A cleaner
        // that opened it in between sees it empty and leaves it alone.
        if (::flock(fd, LOCK_EX) != 0) {
            const int error = errno;
            ::unlink((folder_ + name).c_str());
            ::close(fd);
            return Status::Error(error, folder_ + name, "lock journal");
        }
        fd_ = fd;
        fileName_ = name;
        return Status::Ok();
    }
    return Status::Error(EEXIST, folder_, "create journal");
}

Status TemporaryJournal::Append(const std::string& line, bool flush) {
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t wrote = ::write(fd_, line.data() + done, line.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return Status::Error(errno, folder_ + fileName_, "write journal");
        }
        if (wrote == 0) return Status::Error(ENOSPC, folder_ + fileName_, "write journal");
        done += static_cast<std::size_t>(wrote);
    }
    if (flush && ::fdatasync(fd_) != 0) return Status::Error(errno, folder_ + fileName_, "fsync journal");
    return Status::Ok();
}

Status TemporaryJournal::Note(const Record& record, bool flush) {
    const bool created = fd_ < 0;
    Status status = Open();
    if (!status) return status;
    status = Append(FormatJournalRecord('+', record), flush);
    if (!status) return status;
    open_[KeyOf(record)] = true;
    if (created && flush) {
        // The journal's own name must be on the disk too, or a crash loses the record with it.
        const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    return Status::Ok();
}

void TemporaryJournal::Settle(const Record& record) {
    auto found = open_.find(KeyOf(record));
    if (found == open_.end()) return;
    open_.erase(found);
    // An end record that cannot be appended leaves a start record whose temporary is gone: the next
    // run's cleanup finds nothing to remove, which is harmless.
    if (fd_ >= 0) (void)Append(FormatJournalRecord('-', record), false);
    // Copies are few and slow: their journal goes as soon as nothing is open. Trash info records come in
    // batches, and the trash closes the journal at its flush.
    if (record.kind == Kind::Copy) CloseIfSettled();
}

void TemporaryJournal::CloseIfSettled() {
    if (fd_ < 0 || !open_.empty()) return;
    // Removed while still locked, so no cleaner ever reads a journal that is half given up.
    ::unlink((folder_ + fileName_).c_str());
    ::close(fd_);
    fd_ = -1;
    fileName_.clear();
}

std::size_t TemporaryJournal::RemoveLeftovers() {
    if (folder_.empty()) return 0;
    const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return 0;
    DIR* listing = ::fdopendir(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    std::vector<std::string> journals;
    if (listing != nullptr) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.size() > sizeof kJournalSuffix - 1 && name.ends_with(kJournalSuffix) &&
                name != fileName_)
                journals.push_back(name);
        }
        ::closedir(listing);
    }
    std::size_t removed = 0;
    for (const std::string& name : journals) {
        const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        // Another process's live journal is locked; one of another user, or not a regular file, is not ours.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        if (st.st_size == 0) {
            // Being born (created, not yet locked or written), or its process was killed in between: the
            // process named in it says which.
            if (!ProcessMayLive(name) || ::time(nullptr) - st.st_mtime > kEmptyJournalAgeSeconds)
                ::unlinkat(folder, name.c_str(), 0);
            ::close(fd);
            continue;
        }
        std::string text;
        char buffer[8192];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
            if (got < 0) {
                if (errno == EINTR) continue;
                break;
            }
            text.append(buffer, static_cast<std::size_t>(got));
        }
        // Later lines win: a second "+" carries the identity, a "-" settles the name. A line cut by a kill
        // does not parse and counts for nothing.
        std::map<Key, Record> pending;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            char sign = 0;
            Record record;
            if (!ParseJournalRecord(text.substr(start, end - start), sign, record)) continue;
            if (sign == '+') {
                pending[KeyOf(record)] = record;
            } else {
                pending.erase(KeyOf(record));
            }
        }
        bool keep = false;
        for (const auto& [key, record] : pending) {
            const Outcome outcome = RemoveLeftover(record);
            removed += outcome == Outcome::Removed;
            keep = keep || outcome == Outcome::Retry;
        }
        if (!keep) ::unlinkat(folder, name.c_str(), 0);
        ::close(fd);
    }
    ::close(folder);
    return removed;
}

}  // namespace vask
