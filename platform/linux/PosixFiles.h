// Open files of the POSIX file-system adapter.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/FileSystem.h"

namespace vask {

// Takes over fd; path is for messages only.
std::unique_ptr<WritableFile> MakePosixWritableFile(int fd, std::string path);
std::unique_ptr<ReadableFile> MakePosixReadableFile(int fd, std::string path);

// The FileStatus of a struct stat (shared by the adapter's files and folders).
FileStatus FileStatusFromStat(const struct stat& st);

}  // namespace vask
