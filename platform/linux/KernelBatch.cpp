#include "platform/linux/KernelBatch.h"

#include <fcntl.h>
#include <liburing.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace vask {

namespace {

constexpr unsigned kRingEntries = 128;
constexpr std::uint64_t kCloseTag = ~0ULL;

// -1 not decided yet, 0 off, 1 on.
std::atomic<int> batchingWanted{-1};
std::atomic<int> ringWorks{-1};

bool Wanted() {
    int wanted = batchingWanted.load();
    if (wanted < 0) {
        const char* setting = std::getenv("VASK_IO_URING");
        wanted = (setting != nullptr && setting[0] == '0') ? 0 : 1;
        batchingWanted.store(wanted);
    }
    return wanted == 1;
}

FileStatus FileStatusFromStatx(const struct statx& sx) {
    FileStatus status;
    const mode_t mode = sx.stx_mode;
    if (S_ISREG(mode)) {
        status.kind = EntryKind::Regular;
    } else if (S_ISDIR(mode)) {
        status.kind = EntryKind::Directory;
    } else if (S_ISLNK(mode)) {
        status.kind = EntryKind::Symlink;
    } else {
        status.kind = EntryKind::Other;
    }
    // The same number fstat gives in st_dev, so identities agree whichever call saw the file.
    status.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    status.inode = sx.stx_ino;
    status.size = sx.stx_size;
    status.mtimeSeconds = sx.stx_mtime.tv_sec;
    status.mtimeNanoseconds = static_cast<std::int32_t>(sx.stx_mtime.tv_nsec);
    status.mode = mode & 07777;
    status.ownerId = sx.stx_uid;
    return status;
}

class UringBatch : public KernelBatch {
  public:
    bool Init() { return io_uring_queue_init(kRingEntries, &ring_, 0) == 0; }

    ~UringBatch() override {
        // Closes still queued are done before the ring goes away.
        if (queuedCloses_ > 0) io_uring_submit_and_wait(&ring_, 0);
        io_uring_queue_exit(&ring_);
    }

    bool StatEntries(int folder, std::span<FileCheck> checks) override;
    void Close(int fd) override;

  private:
    io_uring_sqe* Sqe() {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
        if (sqe == nullptr) {
            io_uring_submit(&ring_);
            queuedCloses_ = 0;
            sqe = io_uring_get_sqe(&ring_);
        }
        return sqe;
    }

    struct io_uring ring_ {};
    unsigned queuedCloses_ = 0;
    std::vector<struct statx> results_;
};

bool UringBatch::StatEntries(int folder, std::span<FileCheck> checks) {
    const std::size_t chunk = kRingEntries / 2;
    if (results_.size() < chunk) results_.resize(chunk);
    for (std::size_t first = 0; first < checks.size(); first += chunk) {
        const std::size_t count = std::min(chunk, checks.size() - first);
        for (std::size_t i = 0; i < count; ++i) {
            io_uring_sqe* sqe = Sqe();
            if (sqe == nullptr) return false;
            io_uring_prep_statx(sqe, folder, checks[first + i].name, AT_SYMLINK_NOFOLLOW,
                                STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_SIZE | STATX_MTIME,
                                &results_[i]);
            io_uring_sqe_set_data64(sqe, i);
        }
        int submitted = io_uring_submit_and_wait(&ring_, static_cast<unsigned>(count));
        if (submitted < 0 && submitted != -EINTR) return false;
        queuedCloses_ = 0;
        std::size_t done = 0;
        while (done < count) {
            io_uring_cqe* cqe = nullptr;
            const int waited = io_uring_wait_cqe(&ring_, &cqe);
            if (waited == -EINTR) continue;
            if (waited < 0) return false;
            const std::uint64_t tag = io_uring_cqe_get_data64(cqe);
            if (tag != kCloseTag && tag < count) {
                FileCheck& check = checks[first + tag];
                check.writable = false;
                if (cqe->res < 0) {
                    check.error = -cqe->res;
                } else {
                    check.error = 0;
                    check.status = FileStatusFromStatx(results_[tag]);
                }
                ++done;
            }
            io_uring_cqe_seen(&ring_, cqe);
        }
    }
    return true;
}

void UringBatch::Close(int fd) {
    io_uring_sqe* sqe = Sqe();
    if (sqe == nullptr) {
        ::close(fd);
        return;
    }
    io_uring_prep_close(sqe, fd);
    io_uring_sqe_set_data64(sqe, kCloseTag);
    // Only a failed close leaves a completion; StatEntries passes over it.
    io_uring_sqe_set_flags(sqe, IOSQE_CQE_SKIP_SUCCESS);
    if (++queuedCloses_ >= kRingEntries / 4) {
        io_uring_submit(&ring_);
        queuedCloses_ = 0;
    }
}

struct ThreadRing {
    std::unique_ptr<UringBatch> batch;
    bool tried = false;
};

}  // namespace

KernelBatch* KernelBatch::ForThisThread() {
    if (!Wanted()) return nullptr;
    thread_local ThreadRing ring;
    if (!ring.tried) {
        ring.tried = true;
        if (ringWorks.load() != 0) {
            auto batch = std::make_unique<UringBatch>();
            if (batch->Init()) {
                ring.batch = std::move(batch);
                ringWorks.store(1);
            } else {
                ringWorks.store(0);  // refused once: no thread tries again
            }
        }
    }
    return ring.batch.get();
}

void SetKernelBatching(bool enabled) {
    batchingWanted.store(enabled ? 1 : 0);
}

bool KernelBatchingAvailable() {
    if (ringWorks.load() < 0) {
        struct io_uring probe {};
        ringWorks.store(io_uring_queue_init(4, &probe, 0) == 0 ? 1 : 0);
        if (ringWorks.load() == 1) io_uring_queue_exit(&probe);
    }
    return ringWorks.load() == 1;
}

}  // namespace vask
