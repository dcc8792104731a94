#include "platform/fakes/MemoryProfileStore.h"

#include <cerrno>

namespace vask {

std::int32_t MemoryProfileStore::ReadInt(const std::string& name, std::int32_t defaultValue) {
    reads_.push_back(name);
    return StoredInt(name).value_or(defaultValue);
}

std::string MemoryProfileStore::ReadString(const std::string& name, const std::string& defaultValue) {
    reads_.push_back(name);
    return StoredString(name).value_or(defaultValue);
}

Status MemoryProfileStore::WriteInt(const std::string& name, std::int32_t value) {
    return Write(name, value);
}

Status MemoryProfileStore::WriteString(const std::string& name, const std::string& value) {
    return Write(name, value);
}

Status MemoryProfileStore::Write(const std::string& name, Value value) {
    const bool fail = firstFailing_ && attempts_ >= *firstFailing_;
    ++attempts_;
    writes_.push_back(WriteRecord{name, value, !fail, batchDepth_});
    if (fail) return Status::Error(EIO, name, "write profile value");
    values_[name] = std::move(value);
    return Status::Ok();
}

Status MemoryProfileStore::CommitBatch() {
    if (batchDepth_ == 0) return Status::Error(EINVAL, "profile", "commit without a batch");
    if (--batchDepth_ > 0) return Status::Ok();
    ++commits_;
    if (failCommits_) return Status::Error(EIO, "profile", "write profile");
    return Status::Ok();
}

std::optional<std::int32_t> MemoryProfileStore::StoredInt(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end() || !std::holds_alternative<std::int32_t>(it->second)) return std::nullopt;
    return std::get<std::int32_t>(it->second);
}

std::optional<std::string> MemoryProfileStore::StoredString(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end() || !std::holds_alternative<std::string>(it->second)) return std::nullopt;
    return std::get<std::string>(it->second);
}

std::vector<std::string> MemoryProfileStore::WrittenNames() const {
    std::vector<std::string> names;
    for (const auto& write : writes_)
        names.push_back(write.name);
    return names;
}

}  // namespace vask
