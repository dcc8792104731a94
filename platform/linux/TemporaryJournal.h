// The journal of Vask's own temporary names: what a run is about to name on disk and may have to remove when
// it is killed before it could. A later run removes only what a journal names, and only while the entry is
// still the very file that was recorded (same folder, same device and inode, owned by this user): Vask never
// removes a file it cannot prove it created, whatever its name looks like.
//
// Two kinds of names are recorded:
//   - Copy: a temporary file in a folder, named while it is written or just before it replaces a file;
//   - TrashInfo: an info file "<stem>.trashinfo" in a trash's info/ folder, named before its entry is moved
//     to files/<stem>. It is removed later only when files/<stem> does not exist: an info file whose entry
//     did reach the trash is a real one.
//
// Each process (one journal object) writes its own file "<pid>-<random>.journal" in the journal folder and
// holds an flock on it while it lives; a journal whose lock is free belongs to a process that ended. The file
// is created at the first record and removed again when every record is settled, so a folder with a journal
// file in it means an unfinished or killed run. A record is one line; paths and names are percent-encoded.
//
// The journal is a safeguard, not a condition: when it cannot be written (no home, a read-only home), the
// operations go on, and what a kill leaves then stays on disk (it is never removed without proof).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "platform/Environment.h"
#include "platform/Status.h"

namespace vask {

// $XDG_STATE_HOME/Velumark/ when XDG_STATE_HOME is absolute, else $HOME/.local/state/Velumark/ when HOME is;
// empty when neither is. Ends in "/".
std::string TemporaryJournalFolder(Environment& environment);

class TemporaryJournal {
  public:
    enum class Kind { Copy, TrashInfo };

    // One recorded name. folderPath: where the folder was opened (reopened by a later run and checked against
    // folderDevice and folderInode); name: the entry in it. fileDevice and fileInode are 0 while the file's
    // identity is not known yet: such a record is never acted on. For TrashInfo the folder is the trash's
    // info/ folder and name the stem: the file is "<stem>.trashinfo", its entry ../files/<stem>.
    struct Record {
        Kind kind = Kind::Copy;
        std::string folderPath;
        std::uint64_t folderDevice = 0;
        std::uint64_t folderInode = 0;
        std::string name;
        std::uint64_t fileDevice = 0;
        std::uint64_t fileInode = 0;
    };

    // folder: the journal folder (ending in "/"); created 0700 with its missing parents on first use. Empty:
    // no journal at all (nothing is recorded, nothing is cleaned).
    explicit TemporaryJournal(std::string folder);
    // Removes this process's journal file when every record is settled; otherwise it stays for a later run.
    ~TemporaryJournal();
    TemporaryJournal(const TemporaryJournal&) = delete;
    TemporaryJournal& operator=(const TemporaryJournal&) = delete;

    // Records the name before it is created or given (a second Note of the same folder and name replaces the
    // first, e.g. once the identity is known). With flush, the record reaches the disk first (fsync).
    // Failure: the record could not be written; the caller goes on (see above).
    Status Note(const Record& record, bool flush);
    // The name is settled: published, kept as a real file, or removed. Never fails in a way the caller acts
    // on; a record left behind is checked against the disk before anything is removed.
    void Settle(const Record& record);

    // Removes what the journals of ended processes name, entry by entry as described above, then those
    // journals. A journal with an entry that could not be checked or removed now (EACCES, EIO, a folder not
    // mounted) is kept for a later run. Returns the number of entries removed.
    std::size_t RemoveLeftovers();

    // Removes this process's journal file when every record is settled (it is made again by the next Note).
    void CloseIfSettled();

    const std::string& Folder() const { return folder_; }

  private:
    using Key = std::tuple<int, std::uint64_t, std::uint64_t, std::string>;
    static Key KeyOf(const Record& record);
    Status Open();
    Status Append(const std::string& line, bool flush);

    std::string folder_;
    int fd_ = -1;
    std::string fileName_;
    std::map<Key, bool> open_;  // records not settled yet
};

// A record line and back (for tests of the format).
std::string FormatJournalRecord(char sign, const TemporaryJournal::Record& record);
bool ParseJournalRecord(const std::string& line, char& sign, TemporaryJournal::Record& record);

}  // namespace vask
