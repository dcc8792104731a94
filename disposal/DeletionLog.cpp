#include "disposal/DeletionLog.h"

#include <cstdio>
#include <string>

#include "search/SizeText.h"

namespace vask {

namespace {

std::string HeaderLine(const LocalTime& t, bool silent) {
    char time[64];
    std::snprintf(time, sizeof time, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return std::string("---<<< ") + time + " >>>---" + (silent ? "---<Silent>------" : "---<Normal>------");
}

// One write per line: the line reaches the file (the kernel) whole and at once, which is what flushing a
// buffered stream after each line achieves. An fsync per line would add a disk round trip for each of up
// to a million paths without making a finished line any safer from a crash of Vask itself.
Status WriteLine(WritableFile& file, std::string line) {
    line += "\r\n";
    return file.Write(line);
}

// True when the log holds bytes and its last line has no line end: a record cut short by a full disk or a
// kill. Unknown (the file cannot be read) counts as complete, so no blank line is ever added.
bool EndsInsideALine(Directory& folder, char& lastByte) {
    auto file = folder.OpenForReading(kDeletionLogName);
    if (!file) return false;
    auto status = (*file)->Stat();
    if (!status || status->size == 0) return false;
    auto got = (*file)->ReadAt(status->size - 1, &lastByte, 1);
    return got && got.value() == 1 && lastByte != '\n';
}

}  // namespace

Status WriteDeletionLog(FileSystem& fileSystem, Clock& clock, const SearchState& state, bool bLogUpdate,
                        bool silent) {
    auto folder = fileSystem.OpenCurrentFolder();
    if (!folder) return folder.status();
    // 0666 before the umask, as any file a user's program writes: the log is the user's document. Only a
    // regular file of this user is written, never through a link, and a FIFO is refused rather than waited
    // on.
    auto opened = (*folder)->OpenOwnFile(kDeletionLogName,
                                         bLogUpdate ? FileCreation::Truncate : FileCreation::Append, 0666);
    if (!opened) return opened.status();
    WritableFile& file = **opened;

    // Every record starts on a line of its own, even after one that a full disk cut short; otherwise its
    // header would be glued to the cut line and the log page would show neither correctly.
    std::string header = HeaderLine(clock.ToLocalTime(state.timeSearch), silent);
    char lastByte = 0;
    if (!bLogUpdate && EndsInsideALine(**folder, lastByte))
        header.insert(0, lastByte == '\r' ? "\n" : "\r\n");
    Status status = WriteLine(file, header);
    std::uint64_t total = 0;
    std::size_t count = 0;
    const ResultList& results = state.results;
    for (std::size_t i = 0; i < results.Size() && status.ok(); ++i) {
        const SearchResultEntry& entry = results[i];
        if (entry.checkState != 1) continue;
        status = WriteLine(file, std::string(entry.Path()));
        total += entry.size;
        ++count;
    }
    if (status.ok())
        status = WriteLine(file, "<" + std::to_string(count) + "file(s), " + FormatSizeText(total) + ">");
    if (status.ok()) status = file.Sync();
    // Closed on every path; a close error (NFS, quota) is the first error only when nothing failed before.
    Status closed = file.Close();
    return status.ok() ? closed : status;
}

}  // namespace vask
