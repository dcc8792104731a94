#include "settings/LogLines.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "disposal/DeletionLog.h"
#include "platform/FileSystem.h"
#include "settings/CodePage.h"

namespace vask {

namespace {

// Text held in memory, read like a file.
class TextFile : public ReadableFile {
  public:
    explicit TextFile(std::string_view text) : text_(text) {}
    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        auto got = ReadAt(position_, buffer, size);
        position_ += *got;
        return got;
    }
    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        if (offset >= text_.size()) return std::size_t{0};
        const std::size_t count = std::min<std::size_t>(size, text_.size() - offset);
        std::memcpy(buffer, text_.data() + offset, count);
        return count;
    }
    Result<FileStatus> Stat() override {
        FileStatus status;
        status.kind = EntryKind::Regular;
        status.size = text_.size();
        return status;
    }

  private:
    std::string text_;
    std::uint64_t position_ = 0;
};

// A line whose text fills a whole item, followed by CR LF, still has its line end inside this many bytes.
constexpr std::size_t kWindow = LogLines::kItemBytes + 2;

}  // namespace

LogLines::LogLines() = default;
LogLines::~LogLines() = default;
LogLines::LogLines(LogLines&&) noexcept = default;
LogLines& LogLines::operator=(LogLines&&) noexcept = default;

LogLines::LogLines(std::unique_ptr<ReadableFile> file) : file_(std::move(file)) {
    Split();
}

LogLines::LogLines(std::string_view text) : file_(std::make_unique<TextFile>(text)) {
    Split();
}

void LogLines::Split() {
    if (!file_) return;
    // Deletion logs hold paths of some tens of bytes; growing the tables a million times would cost more
    // than the pass itself.
    if (const auto status = file_->Stat(); status && status->size > 0) {
        const std::size_t estimate =
            static_cast<std::size_t>(std::min<std::uint64_t>(status->size / 40, 1u << 26));
        starts_.reserve(estimate + 16);
        lengths_.reserve(estimate + 16);
    }

    // One buffer, used over and over: the bytes of the item being looked at are moved to its front before it
    // is filled again, so an item is always whole in it.
    constexpr std::size_t kBuffer = 1u << 20;
    std::unique_ptr<char[]> buffer(new char[kBuffer]);
    char* const data = buffer.get();
    std::uint64_t base = 0;  // file offset of data[0]
    std::size_t fill = 0;
    std::size_t pos = 0;  // start of the current item in data
    bool atEnd = false;

    for (;;) {
        const std::size_t available = fill - pos;
        if (available < kWindow && !atEnd) {
            std::memmove(data, data + pos, available);
            base += pos;
            fill = available;
            pos = 0;
            while (fill < kBuffer) {
                auto got = file_->Read(data + fill, kBuffer - fill);
                if (!got || *got == 0) {
                    atEnd = true;  // the end of the file, or a read error: the items end here
                    break;
                }
                fill += *got;
            }
            continue;
        }
        if (available == 0) break;

        const char* item = data + pos;
        const void* found = std::memchr(item, '\n', std::min(available, kWindow));
        std::size_t rest = 0;      // the line's bytes from here, without its line end
        std::size_t consumed = 0;  // bytes up to and including the line feed, when the item ends the line
        if (found != nullptr) {
            const std::size_t lineFeed = static_cast<const char*>(found) - item;
            rest = lineFeed;
            if (rest > 0 && item[rest - 1] == '\r') --rest;
            consumed = lineFeed + 1;
        } else {
            rest = available;  // no line feed within reach: a longer line, or the last one without LF
        }
        // A line is read in pieces of kItemBytes bytes with its line feed counted; a line whose text fills a
        // whole piece leaves the line feed alone for the next read: an empty item.
        if (found != nullptr && rest + 1 <= kItemBytes) {
            AddItem(base + pos, rest);
            pos += consumed;
        } else if (found == nullptr && rest <= kItemBytes) {
            AddItem(base + pos, rest);  // the last line, at the end of the file
            pos += rest;
        } else {
            std::size_t cut =
                CharBoundaryAtOrBefore(CodePage::Utf8, std::string_view(item, rest), kItemBytes);
            if (cut == 0) cut = kItemBytes;
            AddItem(base + pos, cut);
            pos += cut;
        }
    }
}

void LogLines::AddItem(std::uint64_t start, std::size_t length) {
    if (!lengths_.empty() && length > lengths_[longest_]) longest_ = lengths_.size();
    starts_.push_back(start);
    lengths_.push_back(static_cast<std::uint16_t>(length));
}

std::string LogLines::Item(std::size_t index) const {
    std::string text(lengths_[index], '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        auto read = file_->ReadAt(starts_[index] + got, text.data() + got, text.size() - got);
        if (!read || *read == 0) break;
        got += *read;
    }
    text.resize(got);
    return text;
}

LogLines ReadDeletionLog(FileSystem& fileSystem) {
    auto folder = fileSystem.OpenCurrentFolder();
    if (!folder) return LogLines();
    auto opened = (*folder)->OpenForReading(kDeletionLogName);
    if (!opened) {
        // Opening the log for reading has always left an empty one behind; the page shows it empty.
        if (opened.status().code() == ENOENT) {
            auto created = (*folder)->CreateFile(kDeletionLogName, FileCreation::Append, 0666);
            if (created) (void)(*created)->Close();  // an empty file: a failed close loses nothing
        }
        return LogLines();
    }
    return LogLines(std::move(*opened));
}

void RemoveDeletionLog(FileSystem& fileSystem) {
    auto folder = fileSystem.OpenCurrentFolder();
    // Clearing the log is asked by the log page, which reads the file again and so shows what is left.
    if (folder) (void)(*folder)->RemoveFile(kDeletionLogName);
}

}  // namespace vask
