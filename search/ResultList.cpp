#include "search/ResultList.h"

#include <cstring>

namespace vask {

const char* ResultList::StorePath(std::string_view path) {
    const std::size_t needed = path.size() + 1;  // NUL-terminated for callers that want a C string
    if (pathBlocks_.empty() || pathBlockUsed_ + needed > pathBlockSizes_.back()) {
        // A path longer than a block gets a block of its own size; the folder depth is not bounded.
        const std::size_t blockSize = needed > kPathBlockBytes ? needed : kPathBlockBytes;
        pathBlocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        pathBlockSizes_.push_back(blockSize);
        pathBlockUsed_ = 0;
    }
    char* destination = pathBlocks_.back().get() + pathBlockUsed_;
    std::memcpy(destination, path.data(), path.size());
    destination[path.size()] = '\0';
    pathBlockUsed_ += needed;
    return destination;
}

std::size_t ResultList::Append(std::string_view path, std::uint64_t size, const FileIdentity& identity) {
    if (count_ % kEntriesPerBlock == 0 && count_ / kEntriesPerBlock == entryBlocks_.size()) {
        entryBlocks_.push_back(std::make_unique<SearchResultEntry[]>(kEntriesPerBlock));
    }
    SearchResultEntry& entry = entryBlocks_[count_ / kEntriesPerBlock][count_ % kEntriesPerBlock];
    entry.size = size;
    entry.identity = identity;
    entry.pathData = StorePath(path);
    entry.pathLength = static_cast<std::uint32_t>(path.size());
    entry.checkState = 1;
    return count_++;
}

void ResultList::Clear() {
    entryBlocks_.clear();
    entryBlocks_.shrink_to_fit();
    pathBlocks_.clear();
    pathBlocks_.shrink_to_fit();
    pathBlockSizes_.clear();
    pathBlockSizes_.shrink_to_fit();
    pathBlockUsed_ = 0;
    count_ = 0;
}

std::size_t ResultList::CountTicked() const {
    std::size_t ticked = 0;
    for (std::size_t i = 0; i < count_; ++i)
        ticked += (*this)[i].checkState != 0;
    return ticked;
}

std::size_t ResultList::AllocatedBytes() const {
    std::size_t bytes = entryBlocks_.capacity() * sizeof(entryBlocks_[0]) +
                        entryBlocks_.size() * kEntriesPerBlock * sizeof(SearchResultEntry) +
                        pathBlocks_.capacity() * sizeof(pathBlocks_[0]) +
                        pathBlockSizes_.capacity() * sizeof(std::size_t);
    for (std::size_t blockSize : pathBlockSizes_)
        bytes += blockSize;
    return bytes;
}

}  // namespace vask
