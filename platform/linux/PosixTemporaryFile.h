// The temporary files of the POSIX file-system adapter (Directory::CreateTemporaryFile).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "platform/linux/TemporaryJournal.h"

namespace vask {

// Creates a file in the folder folderFd (duplicated; the caller keeps its own) that becomes finalName when
// published. unnamed: try O_TMPFILE first (false: always a named temporary, as on file systems without it).
// journal: where named temporaries are recorded before they exist; null records nothing. folderPath: the
// folder's absolute path (messages, and the journal's way back to the folder).
Result<std::unique_ptr<TemporaryFile>> CreatePosixTemporaryFile(int folderFd, const std::string& folderPath,
                                                                const std::string& finalName,
                                                                std::uint32_t mode, TemporaryJournal* journal,
                                                                bool unnamed);

// ".NAME.vask-" + random: NAME is finalName cut, at a UTF-8 character boundary, so that the whole name fits
// in nameMax bytes.
std::string TemporaryNameFor(const std::string& finalName, const std::string& random, std::size_t nameMax);

}  // namespace vask
