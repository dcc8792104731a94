// The file-system port on POSIX: directory descriptors, openat, fstatat, getdents64, renameat2, and our
// own freedesktop.org trash.
#pragma once

#include <memory>
#include <optional>

#include "platform/FileSystem.h"
#include "platform/linux/FreedesktopTrash.h"

namespace vask {

class PosixFileSystem : public FileSystem {
  public:
    // The trash folders follow this process's environment ($XDG_DATA_HOME, $HOME) and effective user.
    PosixFileSystem();
    // The trash folders follow the given context (tests).
    explicit PosixFileSystem(TrashContext trashContext);

    Result<std::unique_ptr<Directory>> OpenFolder(const std::string& path) override;
    std::uint32_t EffectiveUserId() override;
    Result<std::unique_ptr<Directory>> OpenCurrentFolder() override;
    Status FlushTrash() override;
    std::vector<Status> CommitStagedTrash() override;
    void DiscardStagedTrash() override;

    // The trashing session shared by the folders this file system opened: one per disposal run.
    class TrashSession {
      public:
        explicit TrashSession(std::optional<TrashContext> context);
        ~TrashSession();
        FreedesktopTrash& Session();
        Status Flush();

      private:
        std::optional<TrashContext> context_;
        std::unique_ptr<FreedesktopTrash> session_;
    };

  private:
    std::shared_ptr<TrashSession> trash_;
};

}  // namespace vask
