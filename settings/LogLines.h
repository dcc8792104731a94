// The deletion log as the log page shows it: one item per line, line ends removed, a line longer than the
// item limit shown as consecutive items.
//
// The file is read once, in a small buffer, to find where each item starts; an item's bytes are read again
// from the open file when it is shown. So a log of a hundred megabytes costs about ten bytes an item and no
// copy of itself in memory: on this platform a first touch of memory costs more than reading the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vask {

class FileSystem;
class ReadableFile;

class LogLines {
  public:
    // Most bytes of one item, the line end counted as the reads of a text line do: a line of exactly this
    // many bytes is followed by an empty item.
    static constexpr std::size_t kItemBytes = 259;

    // No items.
    LogLines();
    // Splits the bytes of file, read from its start to its end (or to its first read error): each line (up to
    // LF; a CR just before the LF belongs to the line end) becomes items of at most kItemBytes bytes, each
    // cut at the last UTF-8 character boundary at or before the limit. A final line without LF is an item;
    // the end of the file adds none. The file is kept open for Item.
    explicit LogLines(std::unique_ptr<ReadableFile> file);
    // The same over text (kept in memory).
    explicit LogLines(std::string_view text);
    ~LogLines();
    LogLines(LogLines&&) noexcept;
    LogLines& operator=(LogLines&&) noexcept;

    std::size_t Count() const { return lengths_.size(); }
    // The bytes of an item, read from the file as it is now (shorter, or empty, when the file has shrunk
    // since it was split). Precondition: index < Count().
    std::string Item(std::size_t index) const;
    // The index of the first item with the most bytes, or 0 when there is none (for sizing a view).
    std::size_t LongestItem() const { return longest_; }

  private:
    void Split();
    void AddItem(std::uint64_t start, std::size_t length);

    std::unique_ptr<ReadableFile> file_;
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint16_t> lengths_;
    std::size_t longest_ = 0;
};

// Opens the deletion log in the current folder under the log writer's rules (no link followed, a regular
// file only, no blocking open) and splits it. A missing log is created empty, as opening it for reading
// always did. Any file that cannot be opened gives no items.
LogLines ReadDeletionLog(FileSystem& fileSystem);

// Removes the deletion log from the current folder (a link is removed itself, never its target). A failure
// is not reported: the list is emptied anyway.
void RemoveDeletionLog(FileSystem& fileSystem);

}  // namespace vask
