// The open files of MemoryFileSystem (internal to the fake; included by MemoryFileSystem.cpp only).
#pragma once

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "platform/fakes/MemoryFileSystem.h"

namespace vask {

inline FileStatus StatusOf(const MemoryFileSystem::Node& node) {
    FileStatus status;
    status.kind = node.kind;
    status.device = node.device;
    status.inode = node.inode;
    status.size = node.size;
    status.mtimeSeconds = node.mtimeSeconds;
    status.mode = node.mode;
    status.ownerId = node.ownerId;
    return status;
}

class MemoryWritableFile : public WritableFile {
  public:
    MemoryWritableFile(MemoryFileSystem& fs, std::shared_ptr<MemoryFileSystem::Node> node, std::string path)
        : fs_(fs), node_(std::move(node)), path_(std::move(path)) {}

    Status Write(std::string_view data) override {
        if (int error = fs_.Enter(FsOperation::Write, path_)) return Status::Error(error, path_, "write");
        node_->content = MemoryFileSystem::ContentOf(*node_);
        node_->content.append(data);
        node_->size = node_->content.size();
        node_->synced = false;
        return Status::Ok();
    }
    Status Sync() override {
        if (int error = fs_.Enter(FsOperation::SyncFile, path_)) return Status::Error(error, path_, "fsync");
        node_->synced = true;
        return Status::Ok();
    }
    Status SetTimesAndMode(std::int64_t mtimeSeconds, std::int32_t, std::uint32_t mode) override {
        if (int error = fs_.Enter(FsOperation::SetTimesAndMode, path_)) {
            return Status::Error(error, path_, "set times");
        }
        node_->mtimeSeconds = mtimeSeconds;
        node_->mode = mode & 07777;
        return Status::Ok();
    }
    Status Close() override {
        if (int error = fs_.Enter(FsOperation::CloseFile, path_)) return Status::Error(error, path_, "close");
        return Status::Ok();
    }

  private:
    MemoryFileSystem& fs_;
    std::shared_ptr<MemoryFileSystem::Node> node_;
    std::string path_;
};

// A file with no name until Publish puts it into its folder, as an O_TMPFILE file is.
class MemoryTemporaryFile : public TemporaryFile {
  public:
    MemoryTemporaryFile(MemoryFileSystem& fs, std::shared_ptr<MemoryFileSystem::Node> folder,
                        std::shared_ptr<MemoryFileSystem::Node> node, std::string folderPath)
        : fs_(fs),
          folder_(std::move(folder)),
          node_(node),
          folderPath_(std::move(folderPath)),
          writer_(fs, std::move(node), folderPath_) {}

    Status Write(std::string_view data) override { return writer_.Write(data); }
    Status Sync() override { return writer_.Sync(); }
    Status SetTimesAndMode(std::int64_t mtimeSeconds, std::int32_t nanoseconds, std::uint32_t mode) override {
        return writer_.SetTimesAndMode(mtimeSeconds, nanoseconds, mode);
    }
    Status Close() override { return writer_.Close(); }
    Status Publish(const std::string& finalName, bool replace) override {
        const std::string path = folderPath_ + finalName;
        if (int error = fs_.Enter(FsOperation::Rename, path)) return Status::Error(error, path, "publish");
        auto& children = folder_->children;
        if (auto existing = children.find(finalName); existing != children.end()) {
            if (!replace) return Status::Error(EEXIST, path, "publish");
            if (existing->second->kind == EntryKind::Directory) return Status::Error(EISDIR, path, "publish");
        }
        node_->parent = folder_;
        children[finalName] = node_;
        return Status::Ok();
    }

  private:
    MemoryFileSystem& fs_;
    std::shared_ptr<MemoryFileSystem::Node> folder_;
    std::shared_ptr<MemoryFileSystem::Node> node_;
    std::string folderPath_;
    MemoryWritableFile writer_;
};

class MemoryReadableFile : public ReadableFile {
  public:
    explicit MemoryReadableFile(std::shared_ptr<MemoryFileSystem::Node> node)
        : node_(std::move(node)), bytes_(MemoryFileSystem::ContentOf(*node_)) {}

    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, bytes_.size() - offset_);
        std::copy_n(bytes_.data() + offset_, count, buffer);
        offset_ += count;
        return count;
    }
    Result<FileStatus> Stat() override { return StatusOf(*node_); }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        if (offset >= bytes_.size()) return std::size_t{0};
        const std::size_t count = std::min<std::size_t>(size, bytes_.size() - offset);
        std::copy_n(bytes_.data() + offset, count, buffer);
        return count;
    }

  private:
    std::shared_ptr<MemoryFileSystem::Node> node_;
    std::string bytes_;
    std::size_t offset_ = 0;
};

}  // namespace vask
