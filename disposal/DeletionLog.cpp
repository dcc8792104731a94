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

}  // namespace

Status WriteDeletionLog(FileSystem& fileSystem, Clock& clock, const SearchState& state, bool bLogUpdate,
                        bool silent) {
    auto folder = fileSystem.OpenCurrentFolder();
    if (!folder) return folder.status();
    // 0666 before the umask, as any file a user's program writes: the log is the user's document.
    auto opened = (*folder)->CreateFile(kDeletionLogName,
                                        bLogUpdate ? FileCreation::Truncate : FileCreation::Append, 0666);
    if (!opened) return opened.status();
    WritableFile& file = **opened;

    Status status = WriteLine(file, HeaderLine(clock.ToLocalTime(state.timeSearch), silent));
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
