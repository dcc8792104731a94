#include "patterns/PatternListFile.h"

#include <cerrno>

namespace vask {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsListWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view WithoutByteOrderMark(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.remove_prefix(kByteOrderMark.size());
    return bytes;
}

}  // namespace

std::vector<std::string> SplitListPieces(std::string_view bytes, CodePage codePage) {
    std::vector<std::string> pieces;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t lf = bytes.find('\n', pos);
        const bool hasLf = lf != std::string_view::npos;
        std::string_view content = bytes.substr(pos, (hasLf ? lf : bytes.size()) - pos);
        if (hasLf && !content.empty() && content.back() == '\r') content.remove_suffix(1);
        bool endOfFile;
        if (content.size() + (hasLf ? 1 : 0) <= kListReadBytes) {
            pos = hasLf ? lf + 1 : bytes.size();
            endOfFile = !hasLf;
        } else {
            // A full read that stopped at its limit: the rest of the line is the next read's. The read does
            // not look past its limit, so it never meets the end of the file.
            content = content.substr(0, CharBoundaryAtOrBefore(codePage, content, kListReadBytes));
            pos += content.size();
            endOfFile = false;
        }
        // The reader hands the piece on as a C string: it ends at its first NUL.
        pieces.emplace_back(content.substr(0, content.find('\0')));
        if (endOfFile) break;
    }
    return pieces;
}

std::string_view TrimTrailingWhiteSpace(CodePage codePage, std::string_view text) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLength(codePage, text, i);
        i += length;
        if (length > 1 || !IsListWhiteSpace(text[i - 1])) end = i;
    }
    return text.substr(0, end);
}

ListLineKind ClassifyListLine(std::string_view trimmed) {
    if (trimmed.empty()) return ListLineKind::Blank;
    switch (trimmed[0]) {
        case '\'':
            return ListLineKind::Comment;
        case '-':
            return ListLineKind::Separator;
        case '<':
            return ListLineKind::Header;
        default:
            return ListLineKind::Pattern;
    }
}

std::vector<std::string> DecodeListLines(std::string_view bytes, Cp932Decoder& decoder, bool trim) {
    bytes = WithoutByteOrderMark(bytes);
    const CodePage codePage = IsValidUtf8(bytes) ? CodePage::Utf8 : CodePage::Cp932;
    std::vector<std::string> lines = SplitListPieces(bytes, codePage);
    for (std::string& line : lines) {
        if (trim) line.resize(TrimTrailingWhiteSpace(codePage, line).size());
        if (codePage == CodePage::Cp932) line = decoder.Cp932ToUtf8(line);
    }
    return lines;
}

Result<std::string> ReadListFile(Directory& folder, const std::string& name) {
    auto opened = folder.OpenForReading(name);
    if (!opened) return opened.status();
    ReadableFile& file = **opened;
    auto status = file.Stat();
    if (status && status->size > kMaxPatternListBytes)
        return Status::Error(EFBIG, folder.Path() + name, "read");
    std::string bytes;
    char buffer[65536];
    for (;;) {
        auto got = file.Read(buffer, sizeof buffer);
        if (!got) return got.status();
        if (got.value() == 0) break;
        bytes.append(buffer, got.value());
        // The size may have grown since the open: the limit holds for what is read too.
        if (bytes.size() > kMaxPatternListBytes) return Status::Error(EFBIG, folder.Path() + name, "read");
    }
    return bytes;
}

Result<std::string> ReadDefaultPatternList(FileSystem& fileSystem,
                                           const std::vector<std::string>& dataFolders) {
    if (auto current = fileSystem.OpenCurrentFolder()) {
        if (auto bytes = ReadListFile(**current, kDefaultPatternListName)) return bytes;
    }
    for (const std::string& folder : dataFolders) {
        auto opened = fileSystem.OpenFolder(folder);
        if (!opened) continue;
        if (auto bytes = ReadListFile(**opened, kDefaultPatternListName)) return bytes;
    }
    return Status::Error(ENOENT, kDefaultPatternListName, "open");
}

Status WritePatternListFile(FileSystem& fileSystem, std::string_view bytes, ListWrite how) {
    // A save that was killed left at most a temporary copy the journal knows as ours; other files stay.
    fileSystem.RemoveOwnLeftovers();
    auto opened = fileSystem.OpenCurrentFolder();
    if (!opened) return opened.status();
    Directory& folder = **opened;
    const std::string listPath = folder.Path() + kPatternListName;

    std::uint32_t mode = 0600;
    if (auto old = folder.StatEntry(kPatternListName)) {
        if (how == ListWrite::KeepExisting) return Status::Error(EEXIST, listPath, "create");
        if (old->kind == EntryKind::Regular) mode = old->mode & 0777;
    }

    auto created = folder.CreateTemporaryFile(kPatternListName, mode);
    if (!created) return created.status();
    TemporaryFile& file = **created;
    Status status = file.Write(bytes);
    if (status) status = file.Sync();
    const Status closed = file.Close();
    if (status) status = closed;
    // The copy has no name the user knows (often none at all): a failure is told against the list itself.
    if (!status) return Status::Error(status.code(), listPath, status.operation());
    // Without replace the publish is the test of existence too: a list that appeared meanwhile is kept. On
    // failure the copy goes with the object.
    status = file.Publish(kPatternListName, how == ListWrite::ReplaceExisting);
    if (!status) return status;
    // The new list is in place; a failed flush of the folder entry leaves it there, only less sure to
    // survive a power cut, which is no reason to tell the user the save failed.
    (void)folder.Sync();
    return Status::Ok();
}

}  // namespace vask
