#include "disposal/Compression.h"

#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace vask {

namespace {

constexpr const char* kListFileUnwritableText = "ﾌｧｲﾙ __Vask__.--- が作成できません。";

void ShowExclamation(Prompter& prompter, const std::string& text) {
    prompter.Ask(Prompt{text, "", PromptButtons::Ok, PromptIcon::Exclamation});
}

bool EndsWithArchiveExtension(std::string_view word) {
    if (word.size() < 4) return false;
    std::string ext(word.substr(word.size() - 4));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".lzh" || ext == ".lha";
}

// The working archive path goes into the list unquoted, and the library reads it back by splitting at
// blanks and joining the pieces up to the first that ends in ".lzh" or ".lha" with single blanks. A path
// that this does not give back intact would name another archive, or make a piece a switch ("-x") or a
// file to move; such a folder is refused before anything is written.
bool ArchivePathReadsBack(std::string_view path) {
    if (path.find_first_of("\"\t\r\n") != std::string_view::npos) return false;
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t blank = path.find(' ', start);
        pieces.push_back(
            path.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
        if (blank == std::string_view::npos) break;
        start = blank + 1;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].empty() || pieces[i][0] == '-') return false;
        if (i + 1 < pieces.size() && EndsWithArchiveExtension(pieces[i])) return false;
    }
    return EndsWithArchiveExtension(pieces.back());
}

// Removes the list file when it goes out of scope, so every way out of the compression leaves none behind.
// The removal is tidying up; its result is not examined.
class ListFileGuard {
  public:
    explicit ListFileGuard(Directory& folder) : folder_(folder) {}
    ~ListFileGuard() { folder_.RemoveFile(kArchiverListFileName); }
    ListFileGuard(const ListFileGuard&) = delete;
    ListFileGuard& operator=(const ListFileGuard&) = delete;

  private:
    Directory& folder_;
};

Status WriteWhole(WritableFile& file, const std::string& text) {
    Status status = file.Write(text);
    Status closed = file.Close();
    return status.ok() ? closed : status;
}

}  // namespace

std::string ArchiverListText(const std::string& workingArchivePath, const ResultList& results) {
    std::string text = "m -rxa " + workingArchivePath + " ";
    for (std::size_t i = 0; i < results.Size(); ++i) {
        if (results[i].checkState != 1) continue;
        text += '"';
        text += results[i].Path();
        text += "\" ";
    }
    return text;
}

std::string FinalArchiveName(const LocalTime& t) {
    char name[64];
    std::snprintf(name, sizeof name, "%04d.%02d.%02d_%02d.%02d.%02d.lzh", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return name;
}

int CompressToArchive(FileSystem& fileSystem, ArchiverLoader& loader, Prompter& prompter, Clock& clock,
                      const SearchState& state, const std::string& strUnlhaEdit) {
    std::string folderPath = strUnlhaEdit;
    if (!folderPath.empty() && folderPath.back() != '/') folderPath += '/';
    const std::string workingArchive = folderPath + kWorkingArchiveName;
    if (folderPath.empty() || folderPath[0] != '/' || !ArchivePathReadsBack(workingArchive)) {
        ShowExclamation(prompter, "ﾌｫﾙﾀﾞ " + strUnlhaEdit + " は圧縮先に使えません。");
        return 1;
    }
    // A double quote inside a quoted path ends the quote early: the library would move a file of another
    // name, or none. Refusing the whole run keeps every file where it is.
    for (std::size_t i = 0; i < state.results.Size(); ++i) {
        const SearchResultEntry& entry = state.results[i];
        if (entry.checkState == 1 && entry.Path().find('"') != std::string_view::npos) {
            ShowExclamation(prompter,
                            "ﾌｧｲﾙ名に \" を含む " + std::string(entry.Path()) + " は圧縮できません。");
            return 1;
        }
    }

    auto current = fileSystem.OpenCurrentFolder();
    if (!current) {
        ShowExclamation(prompter, kListFileUnwritableText);
        return 1;
    }
    Directory& currentFolder = **current;
    // 0600: the list names the user's files. Truncate empties one left by a run that was killed.
    auto listFile = currentFolder.CreateFile(kArchiverListFileName, FileCreation::Truncate, 0600);
    if (!listFile) {
        ShowExclamation(prompter, kListFileUnwritableText);
        return 1;
    }
    ListFileGuard removeListFile(currentFolder);
    // A list cut short by a full disk would have the library pack only part of the ticked files and report
    // success for them; it must never reach the library.
    if (!WriteWhole(**listFile, ArchiverListText(workingArchive, state.results)).ok()) {
        ShowExclamation(prompter, kListFileUnwritableText);
        return 1;
    }

    std::unique_ptr<ArchiverLibrary> library = loader.Load();
    if (!library) {
        ShowExclamation(prompter, kArchiverMissingText);
        return 1;
    }
    if (library->GetRunning() != 0) {
        ShowExclamation(prompter, kArchiverBusyText);
        return 1;
    }
    std::string output;
    if (library->Run(std::string("@") + kArchiverListFileName, output) != 0) return 1;

    // The files are in the working archive now; naming and stamping are finishing touches that cannot lose
    // anything, so their failures leave the result at success, with the archive under its working name.
    if (auto folder = fileSystem.OpenFolder(folderPath)) {
        const std::string finalName = FinalArchiveName(clock.ToLocalTime(state.timeSearch));
        (*folder)->RenameTo(kWorkingArchiveName, **folder, finalName, /*replace=*/false);
        StampFileTimes(**folder, finalName, state.timeSearch);
    }
    return 0;
}

int StampFileTimes(Directory& folder, const std::string& name, std::int64_t time) {
    // Only an existing regular file is stamped: creating an empty file under an archive's name would leave
    // something that looks like the archive but holds nothing.
    auto status = folder.StatEntry(name);
    if (!status || status->kind != EntryKind::Regular) return 1;
    auto file = folder.CreateFile(name, FileCreation::Append, status->mode & 07777);
    if (!file) return 1;
    Status stamped = (*file)->SetTimesAndMode(time, 0, status->mode & 07777);
    Status closed = (*file)->Close();
    return stamped.ok() && closed.ok() ? 0 : 1;
}

int StampFileTimes(FileSystem& fileSystem, const std::string& folder, const std::string& name,
                   std::int64_t time) {
    auto opened = fileSystem.OpenFolder(folder);
    if (!opened) return 1;
    return StampFileTimes(**opened, name, time);
}

}  // namespace vask
