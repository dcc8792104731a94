// The deletion log as the log page shows it: one item per line, line ends removed, a line longer than the
// item limit shown as consecutive items. The whole file is held once; items are views into it, so a log of
// a hundred megabytes costs its size plus ten bytes an item and opens in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vask {

class FileSystem;

class LogLines {
  public:
    // Most bytes of one item, the line end counted as the reads of a text line do: a line of exactly this
    // many bytes is followed by an empty item.
    static constexpr std::size_t kItemBytes = 259;

    LogLines() = default;
    // Splits text into items: each line (up to LF; a CR just before the LF belongs to the line end) becomes
    // items of at most kItemBytes bytes, each cut at the last UTF-8 character boundary at or before the
    // limit. A final line without LF is an item; the end of the text adds none.
    explicit LogLines(std::string text);

    std::size_t Count() const { return lengths_.size(); }
    // Precondition: index < Count(). Valid as long as this object lives.
    std::string_view Item(std::size_t index) const {
        return std::string_view(text_).substr(starts_[index], lengths_[index]);
    }
    // The index of the first item with the most bytes, or 0 when there is none (for sizing a view).
    std::size_t LongestItem() const { return longest_; }

  private:
    void AddItem(std::size_t start, std::size_t length);

    std::string text_;
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint16_t> lengths_;
    std::size_t longest_ = 0;
};

// Reads the deletion log from the current folder under the log writer's rules (no link followed, a regular
// file only, no blocking open). A missing log is created empty, as opening it for reading always did. Any
// file that cannot be opened gives no items; a read error ends the items at what was read.
LogLines ReadDeletionLog(FileSystem& fileSystem);

// Removes the deletion log from the current folder (a link is removed itself, never its target). A failure
// is not reported: the list is emptied anyway.
void RemoveDeletionLog(FileSystem& fileSystem);

}  // namespace vask
