// The results of one search: found files in the order of discovery, each with its check state, its size and
// the identity the disposal checks before it touches the file.
//
// Storage is compact (a million results cost well under 64 bytes each beyond their path bytes): paths live
// in fixed-size blocks of bytes that never move, entries in fixed-size blocks of entries, so growing the list
// neither copies what is there nor leaves half of a doubled buffer unused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace vask {

// Who a file was when the walker saw it. A disposal acts only on a file that still has this identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t mtimeNanoseconds = 0;  // since 1970-01-01 UTC

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// One found file. The path is owned by the ResultList it lives in and stays valid until that list is
// cleared or destroyed.
struct SearchResultEntry {
    std::uint64_t size = 0;  // bytes, as seen by the walker
    FileIdentity identity;
    const char* pathData = nullptr;
    std::uint32_t pathLength = 0;
    std::uint8_t checkState = 1;  // 1 ticked when added; 0 unticked by the user

    std::string_view Path() const { return {pathData, pathLength}; }
    // The size as its two 32-bit halves, as the size text and the log take it.
    std::uint32_t SizeLow() const { return static_cast<std::uint32_t>(size); }
    std::uint32_t SizeHigh() const { return static_cast<std::uint32_t>(size >> 32); }
};

class ResultList {
  public:
    ResultList() = default;
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    // Appends a ticked entry; the path bytes are copied. Returns its index.
    std::size_t Append(std::string_view path, std::uint64_t size, const FileIdentity& identity);
    // Empties the list and releases its storage.
    void Clear();

    std::size_t Size() const { return count_; }
    bool Empty() const { return count_ == 0; }
    // Precondition: index < Size().
    const SearchResultEntry& operator[](std::size_t index) const {
        return entryBlocks_[index / kEntriesPerBlock][index % kEntriesPerBlock];
    }
    void SetCheckState(std::size_t index, std::uint8_t state) {
        entryBlocks_[index / kEntriesPerBlock][index % kEntriesPerBlock].checkState = state;
    }

    // Number of entries whose check state is not 0 (state 2 counts as ticked).
    std::size_t CountTicked() const;

    // Bytes of storage held, for the memory benchmark.
    std::size_t AllocatedBytes() const;

  private:
    static constexpr std::size_t kEntriesPerBlock = 4096;
    static constexpr std::size_t kPathBlockBytes = 256 * 1024;

    const char* StorePath(std::string_view path);

    std::vector<std::unique_ptr<SearchResultEntry[]>> entryBlocks_;
    std::vector<std::unique_ptr<char[]>> pathBlocks_;
    std::vector<std::size_t> pathBlockSizes_;
    std::size_t pathBlockUsed_ = 0;  // bytes used in the last path block
    std::size_t count_ = 0;
};

}  // namespace vask
