// An in-memory profile section for tests. It keeps integers and texts apart, as the registry does: an
// integer read of a text value (or a text read of an integer value) gives the default. It records every
// read and every write in order, and can be told to fail writes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/ProfileStore.h"

namespace vask {

class MemoryProfileStore : public ProfileStore {
  public:
    using Value = std::variant<std::int32_t, std::string>;

    struct WriteRecord {
        std::string name;
        Value value;
        bool succeeded = true;
        int batchDepth = 0;  // how many batches were open around the write
    };

    std::int32_t ReadInt(const std::string& name, std::int32_t defaultValue) override;
    std::string ReadString(const std::string& name, const std::string& defaultValue) override;
    // A failed write leaves the stored value as it was and returns an EIO status.
    Status WriteInt(const std::string& name, std::int32_t value) override;
    Status WriteString(const std::string& name, const std::string& value) override;
    // Values are stored at once, batch or not; the batches are counted. An unbalanced CommitBatch fails with
    // EINVAL (a caller's fault the tests want to see).
    void BeginBatch() override { ++batchDepth_; }
    Status CommitBatch() override;

    // Setting up and inspecting the section; none of these is recorded.
    void SetInt(const std::string& name, std::int32_t value) { values_[name] = value; }
    void SetString(const std::string& name, const std::string& value) { values_[name] = value; }
    bool Contains(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::int32_t> StoredInt(const std::string& name) const;
    std::optional<std::string> StoredString(const std::string& name) const;
    std::size_t Size() const { return values_.size(); }

    // Every write attempt since the last ClearLog, in call order, failed ones included.
    const std::vector<WriteRecord>& Writes() const { return writes_; }
    // The names of the write attempts, in call order.
    std::vector<std::string> WrittenNames() const;
    // The names read since the last ClearLog, in call order.
    const std::vector<std::string>& Reads() const { return reads_; }
    void ClearLog() {
        writes_.clear();
        reads_.clear();
        commits_ = 0;
    }
    // Outermost batches committed since the last ClearLog, and batches open now.
    int Commits() const { return commits_; }
    int OpenBatches() const { return batchDepth_; }
    // The outermost CommitBatch calls from now on fail with EIO (after storing, as a file store whose
    // rename failed would leave the values in memory only).
    void FailCommits(bool fail) { failCommits_ = fail; }

    // Writes with a 0-based attempt number (counted since construction) at or after firstFailing fail;
    // nullopt makes every write succeed again.
    void FailWritesFrom(std::optional<std::size_t> firstFailing) { firstFailing_ = firstFailing; }

  private:
    Status Write(const std::string& name, Value value);

    std::map<std::string, Value> values_;
    std::vector<WriteRecord> writes_;
    std::vector<std::string> reads_;
    std::size_t attempts_ = 0;
    std::optional<std::size_t> firstFailing_;
    int batchDepth_ = 0;
    int commits_ = 0;
    bool failCommits_ = false;
};

}  // namespace vask
