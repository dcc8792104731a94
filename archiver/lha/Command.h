// The archiver's command language: "VERB [-switches] ARCHIVE [ROOT/] [FILE...]", given directly or as
// "@" followed by the name of a list file that holds such a line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archiver/lha/FileIo.h"
#include "archiver/lha/Method.h"

namespace vask::lha {

struct Command {
    // 'a' add, 'm' move (add, then remove the sources), 'l' list, 't' test, 'x' extract with folders.
    char verb = 0;
    bool recurse = false;     // -r: accepted; only files can be added, a folder in the list is an error
    bool full_paths = false;  // -x: store each file's full folder path (without the leading "/")
    bool attributes =
        false;  // -a: keep set-user-ID, set-group-ID and sticky bits too (else permissions only)
    Method method = Method::kLh7;  // -m5, -m6, -m7, -m0 (stored)
    std::string archive;
    std::string target_root;  // x: "-w=ROOT" or a second operand ending in "/"; empty for the current folder
    std::vector<std::string> files;  // a/m: sources; l/t/x: members to take (all when empty)
};

// Splits a command line into words: blanks (space, tab, CR, LF) separate, double quotes group and are
// removed. Bytes are passed through unchanged. A word that was quoted is never a switch.
struct Word {
    std::string text;
    bool quoted = false;
};
std::vector<Word> SplitWords(const std::string& line);

// Parses a command line; "@NAME" reads the command from the list file NAME (relative to the current folder).
// EINVAL for an unknown verb or switch or a missing archive name; the list file's error when it cannot be
// read or is refused (a link, not a regular file, another user's: see FileIo::ReadListFile).
Result<Command> ParseCommand(const std::string& line, FileIo& io);

}  // namespace vask::lha
