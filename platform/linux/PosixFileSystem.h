// The file-system port on POSIX: directory descriptors, openat, fstatat, getdents64, renameat2.
#pragma once

#include "platform/FileSystem.h"

namespace vask {

class PosixFileSystem : public FileSystem {
  public:
    Result<std::unique_ptr<Directory>> OpenFolder(const std::string& path) override;
    std::uint32_t EffectiveUserId() override;
    Result<std::unique_ptr<Directory>> OpenCurrentFolder() override;
    Status FlushTrash() override;
};

}  // namespace vask
