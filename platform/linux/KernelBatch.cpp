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

#include "platform/linux/WriteAccess.h"

namespace vask {

namespace {

constexpr unsigned kRingEntries = 64;  // the walker hands over at most 64 files at a time

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

class UringBatch : public KernelBatch {
  public:
    bool Init() {
        // One thread submits and reaps: let the kernel skip the locking and interrupts a shared ring needs.
        if (io_uring_queue_init(kRingEntries, &ring_,
                                IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN) == 0)
            return true;
        return io_uring_queue_init(kRingEntries, &ring_, 0) == 0;
    }
    ~UringBatch() override { io_uring_queue_exit(&ring_); }

    bool Broken() const { return broken_; }
    bool StatEntries(int folder, std::span<FileCheck> checks, const WriteAccessShortcut* shortcut) override;

  private:
    struct io_uring ring_ {};
    bool broken_ = false;
    std::vector<struct statx> results_ = std::vector<struct statx>(kRingEntries);
};

bool UringBatch::StatEntries(int folder, std::span<FileCheck> checks, const WriteAccessShortcut* shortcut) {
    if (broken_) return false;
    for (std::size_t first = 0; first < checks.size(); first += kRingEntries) {
        const std::size_t count = std::min<std::size_t>(kRingEntries, checks.size() - first);
        for (std::size_t i = 0; i < count; ++i) {
            io_uring_sqe* sqe = io_uring_get_sqe(&ring_);  // the queue is empty here
            if (sqe == nullptr) {
                broken_ = true;  // what was queued is never submitted
                return false;
            }
            io_uring_prep_statx(sqe, folder, checks[first + i].name, AT_SYMLINK_NOFOLLOW, kSearchStatxMask,
                                &results_[i]);
            io_uring_sqe_set_data64(sqe, i);
        }
        int submitted;
        do {
            submitted = io_uring_submit_and_wait(&ring_, static_cast<unsigned>(count));
        } while (submitted == -EINTR);
        // A ring that took only part of a chunk, or whose completions cannot be read, may still write into
        // results_ later: it is never used again (and results_ lives as long as the ring).
        if (submitted != static_cast<int>(count)) {
            broken_ = true;
            return false;
        }
        for (std::size_t done = 0; done < count;) {
            io_uring_cqe* cqe = nullptr;
            const int waited = io_uring_wait_cqe(&ring_, &cqe);
            if (waited == -EINTR) continue;
            if (waited < 0) {
                broken_ = true;
                return false;
            }
            const std::uint64_t tag = io_uring_cqe_get_data64(cqe);
            if (tag < count) {
                FileCheck& check = checks[first + tag];
                check.writable = false;
                check.error = cqe->res < 0 ? -cqe->res : 0;
                if (cqe->res >= 0) {
                    check.status = FileStatusFromStatx(results_[tag]);
                    check.writable = shortcut != nullptr && check.status.kind == EntryKind::Regular &&
                                     shortcut->Grants(results_[tag], W_OK);
                }
                ++done;
            }
            io_uring_cqe_seen(&ring_, cqe);
        }
    }
    return true;
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
    if (ring.batch && ring.batch->Broken()) return nullptr;
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
