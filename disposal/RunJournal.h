// The run journal: one file per disposal run that says, for every file the run disposed of, who the file
// was and where it went, so that the whole run can be put back later. Vask.Log is for people; this file is
// for the undo and has a versioned format of its own.
//
// Format (version 1): text lines ending in LF. Fields are separated by TAB; every byte below 0x21, 0x7F and
// "%" inside a field is written as "%XX", so a path with blanks, TABs or line breaks stays one field. Each
// line ends with a TAB and the 16 hex digits of the FNV-1a 64-bit hash of the bytes before that TAB:
//
//   VASK-RUN  1  <start seconds UTC>  <method 0..3>  <silent 0/1>                                    <hash>
//   F  <seq>  <original path>  <device> <inode> <size> <mtime ns> <mode>  <kind>  <place> <member>
//      <placed device> <placed inode>                                                               <hash>
//   R  <seq>                                                                                        <hash>
//
// kind is "trash" (place: the trash folder, ending in "/"; member: the name in its files/ folder, the info
// file being member + ".trashinfo"), "move" (place: the moved file's path), "archive" (place: the archive's
// path; member: the member name) or "deleted" (no place: it cannot be put back). The placed identity is the
// file's device and inode where it went (0 when not known). An "R" line says that entry seq was restored.
//
// An archive run records each file twice. First, before the archiver runs (it removes a source only once
// the archive is complete, but a kill can come between two removals), a provisional entry whose place is
// the archive folder's working archive (kWorkingArchiveName); then, once the archive has its final name,
// an entry with that name for each file gone from its place, and a restore mark for the provisional entry
// of each file still in place. A later entry for the same original path supersedes a provisional one;
// ParseRunJournal drops superseded and marked provisional entries, so what a killed run leaves says where
// every removed file is, and a finished run reads as if only its final entries had been written.
//
// Lines are appended as the run goes; a run that was killed leaves a journal whose last line may be cut
// short: such a last line (no LF at its end) is ignored. Any other line that fails its hash or does not
// parse makes the whole journal unusable: it is reported as damaged, never half-trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vask {

inline constexpr int kRunJournalVersion = 1;

// The name the archiver writes an archive under before it is renamed after the search time.
inline constexpr const char* kWorkingArchiveName = "__Vask__.lzh";

enum class JournalPlaceKind : std::uint8_t { Trash, Move, Archive, Deleted };

// The run as a whole.
struct RunJournalHeader {
    std::int64_t startSeconds = 0;  // when the disposal began, seconds since 1970-01-01 UTC
    int method = 0;                 // the disposal method, 0 trash .. 3 archive
    bool silent = false;            // an unattended run
};

// One disposed file.
struct RunJournalEntry {
    std::uint64_t seq = 0;  // 0, 1, 2, ... in the order the files were disposed of
    std::string originalPath;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNanoseconds = 0;
    std::uint32_t mode = 0;
    JournalPlaceKind kind = JournalPlaceKind::Deleted;
    std::string place;   // see the format above
    std::string member;  // trash files/ name or archive member name
    std::uint64_t placedDevice = 0;
    std::uint64_t placedInode = 0;
};

// What a journal file holds once read.
struct RunJournal {
    RunJournalHeader header;
    std::vector<RunJournalEntry> entries;
    std::set<std::uint64_t> restored;  // seqs of entries an undo has put back
    bool truncated = false;            // the last line was cut short (a killed run); it was ignored
    std::uint64_t nextSeq = 0;         // the seq an entry appended now must have (dropped ones count too)
};

// The text of the header line, the line for one entry, and the line marking an entry restored; each
// ends in LF and is meant to be appended in one write.
std::string FormatJournalHeader(const RunJournalHeader& header);
std::string FormatJournalEntry(const RunJournalEntry& entry);
std::string FormatJournalRestored(std::uint64_t seq);

// True for a provisional archive entry (see above): kind Archive, place a folder's kWorkingArchiveName.
bool IsProvisionalArchiveEntry(const RunJournalEntry& entry);

// Reads a whole journal (provisional archive entries that were superseded or marked are left out, with
// their marks). Nothing when the text is not a version-1 journal or any complete line is damaged
// (error, when given, then says why, in English, for diagnostics).
std::optional<RunJournal> ParseRunJournal(std::string_view text, std::string* error = nullptr);

// The file name of a run's journal: "run-" + start seconds (20 digits, zero-padded, so names sort by time)
// + "-" + a number that makes it unique + ".journal".
std::string RunJournalName(std::int64_t startSeconds, unsigned uniquifier);
// True for names RunJournalName makes; nothing else in the runs folder is taken for a journal.
bool IsRunJournalName(std::string_view name);

}  // namespace vask
