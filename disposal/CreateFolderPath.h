// Creating a folder path level by level.
#pragma once

#include <string>

#include "platform/FileSystem.h"
#include "platform/Status.h"

namespace vask {

// Creates every missing level of an absolute folder path (normalised first), from the root down, without
// following a symbolic link on the way. Success when every level exists or was created; otherwise the
// Status of the level that could not be made.
Status CreateFolderPath(FileSystem& fileSystem, const std::string& folder);

}  // namespace vask
