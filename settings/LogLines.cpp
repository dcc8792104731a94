#include "settings/LogLines.h"

#include <cerrno>
#include <cstring>

#include "disposal/DeletionLog.h"
#include "platform/FileSystem.h"
#include "settings/CodePage.h"

namespace vask {

LogLines::LogLines(std::string text) : text_(std::move(text)) {
    const char* const data = text_.data();
    const std::size_t size = text_.size();
    std::size_t pos = 0;
    while (pos < size) {
        const void* found = std::memchr(data + pos, '\n', size - pos);
        const bool hasLineFeed = found != nullptr;
        const std::size_t lineFeed = hasLineFeed ? static_cast<const char*>(found) - data : size;
        std::size_t end = lineFeed;
        if (hasLineFeed && end > pos && data[end - 1] == '\r') --end;

        // A line is read in pieces of kItemBytes bytes, its line feed included; so a line whose text fills
        // a whole piece leaves the line feed alone for the next read: an empty item.
        std::size_t start = pos;
        for (;;) {
            const std::size_t rest = end - start;
            const std::size_t needed = rest + (hasLineFeed ? 1 : 0);
            if (needed <= kItemBytes) {
                if (hasLineFeed || rest > 0) AddItem(start, rest);
                break;
            }
            std::size_t cut =
                CharBoundaryAtOrBefore(CodePage::Utf8, std::string_view(data + start, rest), kItemBytes);
            if (cut == 0) cut = kItemBytes;
            AddItem(start, cut);
            start += cut;
        }
        pos = hasLineFeed ? lineFeed + 1 : size;
    }
}

void LogLines::AddItem(std::size_t start, std::size_t length) {
    if (!lengths_.empty() && length > lengths_[longest_]) longest_ = lengths_.size();
    starts_.push_back(start);
    lengths_.push_back(static_cast<std::uint16_t>(length));
}

LogLines ReadDeletionLog(FileSystem& fileSystem) {
    auto folder = fileSystem.OpenCurrentFolder();
    if (!folder) return LogLines();
    auto opened = (*folder)->OpenForReading(kDeletionLogName);
    if (!opened) {
        // Opening the log for reading has always left an empty one behind; the page shows it empty.
        if (opened.status().code() == ENOENT) {
            auto created = (*folder)->CreateFile(kDeletionLogName, FileCreation::Append, 0666);
            if (created) (*created)->Close();
        }
        return LogLines();
    }
    ReadableFile& file = **opened;

    std::string text;
    constexpr std::size_t kChunk = 4u << 20;
    if (const auto status = file.Stat(); status && status->size > 0) text.reserve(status->size + kChunk);
    std::size_t used = 0;
    for (;;) {
        text.resize(used + kChunk);
        auto read = file.Read(text.data() + used, kChunk);
        if (!read || *read == 0) break;
        used += *read;
    }
    text.resize(used);
    return LogLines(std::move(text));
}

void RemoveDeletionLog(FileSystem& fileSystem) {
    auto folder = fileSystem.OpenCurrentFolder();
    if (folder) (*folder)->RemoveFile(kDeletionLogName);
}

}  // namespace vask
