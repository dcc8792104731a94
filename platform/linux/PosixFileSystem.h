// The file-system port on POSIX: directory descriptors, openat, fstatat, getdents64, renameat2, our own
// freedesktop.org trash, and the journal of temporary names ($XDG_STATE_HOME/Velumark/).
#pragma once

#include <memory>
#include <optional>

#include "platform/FileSystem.h"
#include "platform/linux/FreedesktopTrash.h"
#include "platform/linux/TemporaryJournal.h"

namespace vask {

class PosixFileSystem : public FileSystem {
  public:
    // The trash folders follow this process's environment ($XDG_DATA_HOME, $HOME) and effective user.
    PosixFileSystem();
    // The trash folders follow the given context (tests).
    explicit PosixFileSystem(TrashContext trashContext);
    // The trash folders follow the given context and the journal lives in journalFolder (tests, tools).
    // unnamedTemporaries false: temporary copies and trash info files are always named and journaled, as on
    // file systems without O_TMPFILE.
    PosixFileSystem(TrashContext trashContext, std::string journalFolder, bool unnamedTemporaries);

    Result<std::unique_ptr<Directory>> OpenFolder(const std::string& path) override;
    std::uint32_t EffectiveUserId() override;
    Result<std::unique_ptr<Directory>> OpenCurrentFolder() override;
    Status FlushTrash() override;
    std::vector<Status> CommitStagedTrash(const TrashMovedIn& movedIn = nullptr) override;
    void DiscardStagedTrash() override;
    std::size_t RemoveOwnLeftovers() override;

    // The trashing session shared by the folders this file system opened (one per disposal run), and the
    // journal of temporary names they write into.
    class TrashSession {
      public:
        TrashSession(std::optional<TrashContext> context, std::shared_ptr<TemporaryJournal> journal,
                     bool unnamedTemporaries);
        ~TrashSession();
        FreedesktopTrash& Session();
        Status Flush();
        TemporaryJournal* Journal() { return journal_.get(); }
        bool UnnamedTemporaries() const { return unnamedTemporaries_; }

      private:
        std::optional<TrashContext> context_;
        std::shared_ptr<TemporaryJournal> journal_;
        bool unnamedTemporaries_;
        std::unique_ptr<FreedesktopTrash> session_;
    };

  private:
    std::shared_ptr<TrashSession> trash_;
};

}  // namespace vask
