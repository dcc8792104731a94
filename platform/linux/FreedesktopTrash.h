// Our own trash for the disposal engine, after the freedesktop.org Trash standard (version 1.0): moves one
// entry into the trash folder of its mount, with an info file that trash-list, gio and file managers read.
//
// Which trash folder:
//   - the home trash ($XDG_DATA_HOME/Trash, else $HOME/.local/share/Trash) when the entry is on the same
//     mount as the home trash; it is created 0700 when missing (with any missing folder above it), and
//     Trash, Trash/files and Trash/info are never opened through a symbolic link (the folders above Trash
//     are the user's own layout and may be links, like a /home that links to /var/home);
//   - otherwise, at the top directory of the entry's mount, $topdir/.Trash/$uid when $topdir/.Trash is a
//     real folder (not a symbolic link) with the sticky bit and $uid in it is a folder of ours (created 0700
//     when missing), else $topdir/.Trash-$uid (created 0700 when missing; refused when it is a symbolic link,
//     not a folder, not owned by us, or writable by group or others).
// There is no other fallback: an entry that cannot go to its trash is reported and stays where it is. It is
// never deleted, and never copied to a trash on another device.
//
// One trashing, in order:
//   1. the info file is written whole ("[Trash Info]", Path= with the original path's bytes percent-encoded,
//      DeletionDate= in local time) to an unnamed file in info/ (O_TMPFILE) and flushed (fsync). Path= is
//      absolute in the home trash; in a topdir trash it is relative to the top directory (the standard's
//      choice, right for removable media) when the original path is seen to lead to that top directory,
//      else absolute;
//   2. it is given its name "<stem>.trashinfo" without replacing anything (linkat); on a name in use the
//      next stem is tried: "<name>", "<name>.2", "<name>.3", ... then random suffixes, a bounded number of
//      times;
//   3. the entry is renamed to files/<stem> without replacing anything (renameat2 RENAME_NOREPLACE); when
//      files/<stem> is taken the info file moves on to the next stem; any other failure (EXDEV, ENOSPC,
//      EACCES, EROFS...) removes the info file again and leaves the entry untouched.
//   Where the file system has no O_TMPFILE, step 1 and 2 become one: "<stem>.trashinfo" is created with
//   O_EXCL, written and flushed, and removed again on any write or flush error.
//   The files/ and info/ folders are flushed by Flush, once per run rather than once per entry.
// A process killed at any point therefore leaves the entry complete in one place: in its folder, or in
// files/ with its info file. The worst leftover is a complete info file without data (killed between steps 2
// and 3); trash-list then lists the path although the file is still in its folder, until the next run
// removes it: every info file is recorded in the context's journal before it is named. Nothing half-written
// ever carries a .trashinfo name, except in the O_EXCL fallback above.
// Stems are cut to fit NAME_MAX together with ".trashinfo" and a collision suffix, at a UTF-8 character
// boundary; the Path= line always carries the whole original path.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Status.h"
#include "platform/linux/TemporaryJournal.h"

namespace vask {

struct TrashContext {
    // Absolute path of the home trash folder. Empty: there is no home trash, and every entry goes to the
    // trash of its mount's top directory.
    std::string homeTrash;
    // The user the topdir trash folders are named after and must belong to.
    std::uint32_t userId = 0;
    // The DeletionDate value, "YYYY-MM-DDThh:mm:ss" in local time. Unset: the system clock's local time.
    std::function<std::string()> deletionDate;
    // Write each info file unnamed (O_TMPFILE) and name it when complete, where the file system can. false:
    // create "<stem>.trashinfo" with O_EXCL and write it in place, as on file systems without O_TMPFILE
    // (vfat, NFS); a kill while writing then leaves a partial info file.
    bool unnamedInfoFiles = true;
    // Where each info file is recorded before it is named, so that a later run can remove one that a kill
    // left without its entry (TemporaryJournal::RemoveLeftovers). Null: nothing is recorded. Not owned.
    TemporaryJournal* journal = nullptr;
};

// $XDG_DATA_HOME/Trash when XDG_DATA_HOME is an absolute path, else $HOME/.local/share/Trash when HOME is
// one; empty when neither is.
std::string HomeTrashFolder(Environment& environment);
// The context of this process: HomeTrashFolder, the effective user id, the local clock.
TrashContext SystemTrashContext(Environment& environment);
// "YYYY-MM-DDThh:mm:ss" of the given time (seconds since 1970 UTC) in the local time zone.
std::string LocalDeletionDate(std::int64_t secondsSinceEpoch);
// The Path= value: every byte except ASCII letters, digits, "/" and -_.!~*'() as %XX (upper-case hex).
std::string PercentEncodePath(const std::string& bytes);

// A trashing session: keeps the trash folders it has opened (at most one per mount) for the next entry and
// flushes them at the end. Meant to live for one disposal run: it holds descriptors on every mount it
// trashed on. Not thread-safe.
class FreedesktopTrash {
  public:
    explicit FreedesktopTrash(TrashContext context);
    // Flushes what Flush has not flushed yet (errors are lost here; call Flush to see them).
    ~FreedesktopTrash();
    FreedesktopTrash(const FreedesktopTrash&) = delete;
    FreedesktopTrash& operator=(const FreedesktopTrash&) = delete;

    // Moves the entry `name` of the open folder `folderFd` (a descriptor of the folder, O_PATH allowed; not
    // taken over) to its trash. `originalPath` is the entry's absolute path as bytes (it may hold newlines
    // and invalid UTF-8) and must end in "/" + name; it becomes the Path= of the info file. The caller has
    // checked that the entry is the one it means. Success: the entry is in files/ and its info file in
    // info/, both in place (the info file's content flushed; the folders are flushed by Flush). Failure:
    // a Status with the errno and the path concerned; the entry is where it was and no info file of this
    // call is left (except when removing it failed as well, in which case it is a complete one).
    Status Trash(int folderFd, const std::string& name, const std::string& originalPath);

    // The same in two steps, so that many entries share one flush of their info files instead of one flush
    // each (the flush is most of the cost of trashing a small file).
    // Stage writes the entry's info file to an unnamed file in its trash (nothing is named or moved yet; the
    // descriptor is duplicated). expected is the entry's status when it was checked; Commit moves it only if
    // it is still that file. A failed Stage leaves nothing behind.
    Status Stage(int folderFd, const std::string& name, const std::string& originalPath,
                 const FileStatus& expected);
    // Flushes every staged info file with one syncfs per file system, then names each and moves its entry in,
    // in the order staged, as Trash does. One Status per staged entry, in that order (Status::changed():
    // changed since it was staged). Nothing stays staged afterwards. movedIn: as
    // FileSystem::CommitStagedTrash.
    std::vector<Status> CommitStaged(const TrashMovedIn& movedIn = nullptr);
    // Drops the staged entries: their unnamed info files vanish, the entries stay where they are.
    void DiscardStaged();
    std::size_t StagedCount() const { return staged_.size(); }

    // Flushes (fsync) the files/ and info/ folders of every trash changed since the last Flush, so that the
    // renames and names of the trashed entries are on disk. The first error is returned; all are tried.
    Status Flush();

  private:
    struct Folder;
    class InfoFile;
    struct StagedEntry;
    Result<Folder*> FolderFor(int folderFd, const std::string& originalPath);
    Status MoveIn(Folder& folder, InfoFile& info, int folderFd, const std::string& name,
                  const std::string& originalPath);
    static bool Removed(const Folder& folder);
    void Forget(Folder* folder);

    TrashContext context_;
    std::unique_ptr<Folder> home_;            // opened on first use
    std::optional<std::uint64_t> homeMount_;  // mount id (or device) the home trash lives on
    std::map<std::uint64_t, std::unique_ptr<Folder>> topdirs_;  // by mount id (or device)
    std::vector<std::unique_ptr<StagedEntry>> staged_;
    std::string movedInAs_;  // the files/ name the last successful MoveIn gave its entry
};

// One entry, one session: Trash followed by Flush. A failure with operation "fsync" comes from Flush: the
// entry was trashed, but the trash folders could not be flushed.
Status TrashEntry(int folderFd, const std::string& name, const std::string& originalPath,
                  const TrashContext& context);

}  // namespace vask
