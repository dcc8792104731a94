#include "platform/linux/TrashFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace vask::trash {

namespace {

// A mount deeper than this is a loop, not a tree.
constexpr int kMaxDepth = 4096;

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Makes a created folder's name durable. Best effort: the parent may be unreadable to us (a mount's top
// directory with mode 0711), and the journaling file systems keep the mkdir ahead of the renames into the
// new folder anyway.
void SyncParentAfterMkdir(int parentFd) {
    const int fd = ::openat(parentFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Opens the folder `name` in parentFd without following a symbolic link, creating it 0700 when missing.
// flags: O_RDONLY for a folder we will write into or flush, O_PATH for one that is only passed through.
Result<UniqueFd> OpenOrCreateFolder(int parentFd, const std::string& name, const std::string& path,
                                    bool create, int flags) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::openat(parentFd, name.c_str(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) return UniqueFd(fd);
        if (errno != ENOENT || !create || attempt > 0) {
            // ELOOP (or ENOTDIR with O_PATH) is all openat says of a symbolic link; lstat tells them apart
            // for the report.
            const int saved = errno;
            struct stat st;
            if ((saved == ELOOP || saved == ENOTDIR) &&
                ::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISLNK(st.st_mode))
                    return Status::Error(ELOOP, path, "open trash folder (symbolic link)");
                if (!S_ISDIR(st.st_mode)) return Status::Error(ENOTDIR, path, "open trash folder");
            }
            return Status::Error(saved, path, "open trash folder");
        }
        if (::mkdirat(parentFd, name.c_str(), 0700) != 0 && errno != EEXIST) {
            return Status::Error(errno, path, "create trash folder");
        }
        SyncParentAfterMkdir(parentFd);
    }
    return Status::Error(ENOENT, path, "open trash folder");
}

// A topdir trash folder must be ours alone: owned by the user and writable by nobody else. Checked on the
// open descriptor, so a swap after the check cannot matter.
Status CheckOwnFolder(int fd, std::uint32_t userId, const std::string& path) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return Status::Error(errno, path, "fstat");
    if (st.st_uid != userId) return Status::Error(EPERM, path, "use trash folder owned by another user");
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Status::Error(EPERM, path, "use trash folder writable by others");
    }
    return Status::Ok();
}

// files/ and info/ of an opened trash folder.
Result<TrashFolder> OpenContents(int trashFd, const std::string& path, const std::string& pathPrefix) {
    auto files = OpenOrCreateFolder(trashFd, "files", path + "files", true, O_RDONLY);
    if (!files) return files.status();
    auto info = OpenOrCreateFolder(trashFd, "info", path + "info", true, O_RDONLY);
    if (!info) return info.status();
    TrashFolder folder;
    folder.files = std::move(files.value());
    folder.info = std::move(info.value());
    folder.path = path;
    folder.pathPrefix = pathPrefix;
    return folder;
}

// The path of the topdir that is `depth` folders above the folder of originalPath, when that path names it
// (same device and inode); empty otherwise, and Path= is then written absolute.
std::string TopdirPath(const std::string& originalPath, int depth, const Placement& topdir) {
    std::vector<std::string> parts = Components(originalPath);
    if (parts.size() < static_cast<std::size_t>(depth) + 1) return {};
    parts.resize(parts.size() - depth - 1);
    std::string path = "/";
    for (const std::string& part : parts) {
        if (part == "." || part == "..") return {};
        path += part + "/";
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || st.st_dev != topdir.device || st.st_ino != topdir.inode) return {};
    return path;
}

}  // namespace

void UniqueFd::Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Result<Placement> PlacementOf(int fd, const std::string& pathForErrors) {
    struct statx stx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_MNT_ID, &stx) != 0) {
        return Status::Error(errno, pathForErrors, "statx");
    }
    Placement placement;
    placement.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    placement.inode = stx.stx_ino;
    // Bind mounts of one file system share the device but not the mount, and rename(2) does not cross
    // mounts: the mount id is what decides which trash can take an entry. Kernels before 5.8 give none.
    placement.mount = (stx.stx_mask & STATX_MNT_ID) != 0 ? stx.stx_mnt_id : placement.device;
    return placement;
}

Result<Placement> ProbeHomeTrash(const std::string& homeTrash) {
    std::vector<std::string> parts = Components(homeTrash);
    if (homeTrash.empty() || homeTrash[0] != '/' || parts.empty()) {
        return Status::Error(EINVAL, homeTrash, "locate home trash");
    }
    const std::size_t ownFolders = parts.size() - 1;  // Trash and files are never symbolic links
    parts.push_back("files");
    UniqueFd fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return Status::Error(errno, "/", "open");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (i >= ownFolders ? O_NOFOLLOW : 0);
        const int next = ::openat(fd.get(), parts[i].c_str(), flags);
        if (next < 0) {
            // Where the path stops is where the trash would be created (or where opening it will fail
            // and say why): on that folder's mount.
            if (errno == ENOENT || (i >= ownFolders && (errno == ELOOP || errno == ENOTDIR))) break;
            return Status::Error(errno, homeTrash, "locate home trash");
        }
        fd = UniqueFd(next);
    }
    return PlacementOf(fd.get(), homeTrash);
}

Result<TrashFolder> OpenHomeTrash(const std::string& homeTrash) {
    const std::vector<std::string> parts = Components(homeTrash);
    if (homeTrash.empty() || homeTrash[0] != '/' || parts.empty()) {
        return Status::Error(EINVAL, homeTrash, "open home trash");
    }
    UniqueFd fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return Status::Error(errno, "/", "open");
    std::string path = "/";
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        path += parts[i] + "/";
        // The folders above Trash are the user's own layout and may be symbolic links (/home -> var/home);
        // only a folder we create is opened without following one.
        int next = ::openat(fd.get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0 && errno == ENOENT) {
            auto created = OpenOrCreateFolder(fd.get(), parts[i], path, true, O_PATH);
            if (!created) return created.status();
            next = created.value().Release();
        }
        if (next < 0) return Status::Error(errno, path, "open");
        fd = UniqueFd(next);
    }
    path += parts.back() + "/";
    auto trash = OpenOrCreateFolder(fd.get(), parts.back(), path, true, O_PATH);
    if (!trash) return trash.status();
    return OpenContents(trash.value().get(), path, "");
}

Result<TrashFolder> OpenTopdirTrash(int folderFd, const std::string& originalPath, std::uint32_t userId) {
    auto start = PlacementOf(folderFd, originalPath);
    if (!start) return start.status();
    // Up through ".." until the parent is on another mount (or is the folder itself, at "/"): that folder
    // is the top directory of the entry's mount.
    UniqueFd top(::openat(folderFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!top.valid()) return Status::Error(errno, originalPath, "open folder");
    Placement topPlacement = start.value();
    int depth = 0;
    for (;; ++depth) {
        if (depth >= kMaxDepth) return Status::Error(ELOOP, originalPath, "find mount top directory");
        UniqueFd parent(::openat(top.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!parent.valid()) return Status::Error(errno, originalPath, "find mount top directory");
        auto parentPlacement = PlacementOf(parent.get(), originalPath);
        if (!parentPlacement) return parentPlacement.status();
        const Placement& above = parentPlacement.value();
        if (above.mount != start.value().mount ||
            (above.device == topPlacement.device && above.inode == topPlacement.inode)) {
            break;
        }
        top = std::move(parent);
        topPlacement = above;
    }
    const std::string topdir = TopdirPath(originalPath, depth, topPlacement);
    const std::string shownTopdir = topdir.empty() ? "(top of " + originalPath + ")/" : topdir;
    const std::string uid = std::to_string(userId);

    // Method 1: an administrator's $topdir/.Trash, only when it is a real folder with the sticky bit.
    // Anything else about it (a symbolic link, no sticky bit, a $uid in it that is not ours) sends us to
    // method 2 without writing anything through it.
    {
        UniqueFd shared(::openat(top.get(), ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (shared.valid() && ::fstat(shared.get(), &st) == 0 && S_ISDIR(st.st_mode) &&
            (st.st_mode & S_ISVTX) != 0) {
            const std::string path = shownTopdir + ".Trash/" + uid + "/";
            auto own = OpenOrCreateFolder(shared.get(), uid, path, true, O_RDONLY);
            if (own && CheckOwnFolder(own.value().get(), userId, path).ok()) {
                auto folder = OpenContents(own.value().get(), path, topdir);
                if (folder) return folder;
            }
        }
    }

    // Method 2: $topdir/.Trash-$uid, ours or nothing.
    const std::string path = shownTopdir + ".Trash-" + uid + "/";
    auto own = OpenOrCreateFolder(top.get(), ".Trash-" + uid, path, true, O_RDONLY);
    if (!own) return own.status();
    const Status checked = CheckOwnFolder(own.value().get(), userId, path);
    if (!checked) return checked;
    return OpenContents(own.value().get(), path, topdir);
}

}  // namespace vask::trash
