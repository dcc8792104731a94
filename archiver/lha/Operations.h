// Carrying out one archiver command against the file system seam.
//
// Add and move ("a", "m") never put files at risk: the new archive is written to a temporary file beside the
// archive (".NAME.vask-XXXXXXXX"), flushed, read back with every member's CRC checked, and only then renamed
// over the archive. Any failure before that leaves an earlier archive exactly as it was, removes no source
// and removes the temporary file. Sources are reached from "/" without following a symbolic link in any
// component and read without blocking; a link, FIFO, device or folder is refused. "m" checks, before the
// archive is put in place, that every source is still the file that was read (same device, inode, size and
// modification time) and stops with nothing removed when one is not; it then removes each source, relative
// to the folder it was read from and only while it is still that file. One that cannot be removed or has
// changed in that last moment is kept, reported, and makes the result non-zero while the archive keeps its
// copy. "x" never writes through a link: a member whose way passes through one is skipped (kMemberSkipped).
#pragma once

#include <string>

#include "archiver/lha/Command.h"
#include "archiver/lha/FileIo.h"

namespace vask::lha {

// Results of a command. 0 is success; every other value is a failure.
enum ResultCode : int {
    kOk = 0,
    kBadCommand = 1,    // unknown command or switch, no archive or no files named, list file unreadable
    kSourceError = 2,   // a source is missing, unreadable, not a regular file, or changed while read
    kArchiveError = 3,  // the archive is missing, damaged, or holds a method this library cannot decode
    kWriteError = 4,    // writing, flushing, checking or renaming the new archive or an extracted file failed
    kBusy = 5,          // another process is running an archive operation
    kSourcesKept = 6,   // "m": the archive was written but some sources could not be removed
    kMemberSkipped = 7,  // "x": a member with an unsafe or unsupported name or type was not extracted
};

struct Outcome {
    int code = kOk;
    std::string text;  // a short report: one line per error, then a summary line
};

Outcome RunCommand(const Command& command, FileIo& io);

// "/" + the lexically cleaned form of path made absolute against cwd: no "." or ".." components, no doubled
// or trailing "/".
std::string AbsolutePath(const std::string& path, const std::string& cwd);

// The member path reduced to a safe relative path: leading "/" and "." components dropped; empty when it
// names nothing or contains "..".
std::string SafeMemberPath(const std::string& path);

}  // namespace vask::lha
