#include "disposal/Compression.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "disposal/FileOperationTexts.h"
#include "disposal/OwnFileText.h"
#include "disposal/ShownPath.h"

namespace vask {

namespace {

constexpr const char* kListFileUnwritableText = "ﾌｧｲﾙ __Vask__.--- が作成できません。";

void ShowExclamation(Prompter& prompter, const std::string& text) {
    prompter.Ask(Prompt{text, "", PromptButtons::Ok, PromptIcon::Exclamation});
}

// The working archive could not be given its final name after the files went into it.
std::string ArchiveKeptUnderWorkingNameText(const std::string& path, const Status& status) {
    return "ﾌｧｲﾙ " + ShownPath(path) + " の名前を変更できません。\n" +
           file_operation_text::FailureReason(FileOperationFailure{"", status}) +
           "\n圧縮したﾌｧｲﾙはこの書庫に入っています。";
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
    // A list file that stays behind is removed by the next run before it writes its own; a destructor has
    // no one to tell.
    ~ListFileGuard() { (void)folder_.RemoveFile(kArchiverListFileName); }
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

std::string ArchiverListText(const std::string& workingArchivePath, const std::vector<std::string>& paths) {
    std::string text = "m -rxa " + workingArchivePath + " ";
    for (const std::string& path : paths) {
        text += '"';
        text += path;
        text += "\" ";
    }
    return text;
}

std::string FinalArchiveName(const LocalTime& t, int number) {
    char name[80];
    std::snprintf(name, sizeof name, "%04d.%02d.%02d_%02d.%02d.%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string text = name;
    if (number > 1) text += "_" + std::to_string(number);
    return text + ".lzh";
}

Status RenameToFreeArchiveName(Directory& folder, const std::string& name, const LocalTime& time,
                               std::string& chosen) {
    Status last = Status::Error(EEXIST, folder.Path() + FinalArchiveName(time), "rename");
    for (int number = 1; number <= kMaxArchiveNumber; ++number) {
        const std::string candidate = FinalArchiveName(time, number);
        last = folder.RenameTo(name, folder, candidate, /*replace=*/false);
        if (last) {
            chosen = candidate;
            return last;
        }
        if (last.code() != EEXIST) return last;
    }
    return last;
}

namespace {

// What a ticked file must still be: the regular file the search saw, byte count and time unchanged.
bool SameAsSearched(const FileStatus& status, const SearchResultEntry& entry) {
    return status.kind == EntryKind::Regular && status.device == entry.identity.device &&
           status.inode == entry.identity.inode && status.size == entry.size &&
           status.mtimeSeconds * 1000000000LL + status.mtimeNanoseconds == entry.identity.mtimeNanoseconds;
}

// The ticked paths that are still the files the search saw, each once; the others go to refused. Folders
// are opened component by component without following a link, so a folder swapped for a link to another
// holding a file of the same name is refused, not packed.
std::vector<std::string> CheckedTickedPaths(FileSystem& fileSystem, const ResultList& results,
                                            std::vector<FileOperationFailure>& refused,
                                            std::vector<FileStatus>& statuses) {
    std::vector<std::string> paths;
    std::set<std::string> seen;
    std::unique_ptr<Directory> folder;
    std::string folderPath;
    for (std::size_t i = 0; i < results.Size(); ++i) {
        const SearchResultEntry& entry = results[i];
        if (entry.checkState != 1) continue;
        std::string path(entry.Path());
        path.erase(0, path.find_first_not_of(" \t"));
        if (seen.count(path) != 0) continue;  // found by two patterns: one file, packed once
        std::string folderOfPath, name;
        SplitFolderAndName(path, folderOfPath, name);
        // Results come folder by folder: the folder opened for the last file usually serves this one.
        if (!folder || folderOfPath != folderPath) {
            folder.reset();
            folderPath = folderOfPath;
            if (auto opened = fileSystem.OpenFolder(folderOfPath)) folder = std::move(opened.value());
        }
        bool same = false;
        FileStatus found;
        if (folder && !name.empty()) {
            auto status = folder->StatEntry(name);
            same = status && SameAsSearched(status.value(), entry);
            if (same) found = status.value();
        }
        if (!same) {
            refused.push_back(
                FileOperationFailure{path, Status::Changed(path, "changed since the search"), true});
            continue;
        }
        seen.insert(path);
        paths.push_back(std::move(path));
        statuses.push_back(found);
    }
    return paths;
}

// Reports the refused files once, at the end, as the other disposal methods do; the run's result follows.
class RefusalReport {
  public:
    explicit RefusalReport(FileOperationUi& ui) : ui_(ui) {}
    ~RefusalReport() {
        if (!refused.empty()) ui_.ReportFailures(FileOperationKind::Delete, refused);
    }
    RefusalReport(const RefusalReport&) = delete;
    RefusalReport& operator=(const RefusalReport&) = delete;

    std::vector<FileOperationFailure> refused;

  private:
    FileOperationUi& ui_;
};

// A working archive that an earlier run left behind (killed before the rename, or two runs in the same
// two seconds) holds files that exist nowhere else. The library adds to an existing archive and replaces a
// member of the same name, so it goes aside first, under a final name after its own time.
bool MoveLeftoverWorkingArchiveAside(Directory& archiveFolder, Clock& clock, Prompter& prompter,
                                     DisposalRecorder* recorder) {
    auto leftover = archiveFolder.StatEntry(kWorkingArchiveName);
    if (!leftover && leftover.status().code() == ENOENT) return true;
    const std::string path = archiveFolder.Path() + kWorkingArchiveName;
    std::string chosen;
    if (leftover && leftover->kind == EntryKind::Regular &&
        RenameToFreeArchiveName(archiveFolder, kWorkingArchiveName, clock.ToLocalTime(leftover->mtimeSeconds),
                                chosen)) {
        // The killed run's journal names its files with the working archive: it must follow the rename.
        if (recorder) recorder->LeftoverArchiveRenamed(path, archiveFolder.Path() + chosen);
        return true;
    }
    ShowExclamation(prompter, "ﾌｧｲﾙ " + ShownPath(path) + " の名前を変更できません。\n圧縮を中止します。");
    return false;
}

RunJournalEntry PackedEntry(const std::string& path, const FileStatus& was, std::string archivePath) {
    RunJournalEntry entry;
    entry.originalPath = path;
    entry.device = was.device;
    entry.inode = was.inode;
    entry.size = was.size;
    entry.mtimeNanoseconds = was.mtimeSeconds * 1000000000LL + was.mtimeNanoseconds;
    entry.mode = was.mode;
    entry.kind = JournalPlaceKind::Archive;
    entry.place = std::move(archivePath);
    entry.member = ArchiveMemberName(path);
    return entry;
}

// Journals the files of this run that are gone from their place now that the archive is in place (the
// library removes a source only after the archive is written, read back and named, so a file gone now is
// in it). A file still there, or one that cannot be looked at, was not disposed of as far as anyone can
// tell and is left out. The archive's name reaches the disk before the journal names it.
// provisional holds the seqs of the entries recorded before the run, one per path; each is superseded by
// the final entry of a file that is gone, or marked for a file that stayed. archiveName empty: the run left
// no archive, so every file stayed.
void RecordPackedFiles(FileSystem& fileSystem, Directory& archiveFolder, const std::string& archiveName,
                       const std::vector<std::string>& paths, const std::vector<FileStatus>& statuses,
                       const std::vector<std::uint64_t>& provisional, DisposalRecorder& recorder) {
    if (archiveName.empty()) {
        for (std::uint64_t seq : provisional)
            recorder.Settle(seq);
        recorder.Flush();
        return;
    }
    (void)archiveFolder.Sync();
    std::unique_ptr<Directory> folder;
    std::string folderPath;
    bool folderGone = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::string folderOfPath, name;
        SplitFolderAndName(paths[i], folderOfPath, name);
        if (i == 0 || folderOfPath != folderPath) {
            folder.reset();
            folderPath = folderOfPath;
            auto opened = fileSystem.OpenFolder(folderOfPath);
            folderGone = !opened && opened.status().code() == ENOENT;
            if (opened) folder = std::move(opened.value());
        }
        bool gone = folderGone;
        if (folder) {
            auto now = folder->StatEntry(name);
            gone = !now && now.status().code() == ENOENT;
        }
        if (!gone) {
            if (i < provisional.size()) recorder.Settle(provisional[i]);
            continue;
        }
        recorder.Record(PackedEntry(paths[i], statuses[i], archiveFolder.Path() + archiveName));
    }
    recorder.Flush();
}

}  // namespace

std::string ArchiveMemberName(const std::string& path) {
    const std::size_t first = path.find_first_not_of('/');
    return first == std::string::npos ? std::string() : path.substr(first);
}

int CompressToArchive(FileSystem& fileSystem, ArchiverLoader& loader, Prompter& prompter,
                      FileOperationUi& operationUi, Clock& clock, const SearchState& state,
                      const std::string& strUnlhaEdit, DisposalRecorder* recorder) {
    std::string folderPath = strUnlhaEdit;
    if (!folderPath.empty() && folderPath.back() != '/') folderPath += '/';
    const std::string workingArchive = folderPath + kWorkingArchiveName;
    const std::string unusableFolderText = "ﾌｫﾙﾀﾞ " + strUnlhaEdit + " は圧縮先に使えません。";
    if (folderPath.empty() || folderPath[0] != '/' || !ArchivePathReadsBack(workingArchive)) {
        ShowExclamation(prompter, unusableFolderText);
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
    auto archiveFolder = fileSystem.OpenFolder(folderPath);
    if (!archiveFolder) {
        ShowExclamation(prompter, unusableFolderText);
        return 1;
    }

    RefusalReport report(operationUi);
    std::vector<FileStatus> statuses;
    const std::vector<std::string> paths =
        CheckedTickedPaths(fileSystem, state.results, report.refused, statuses);
    if (paths.empty()) return 1;
    if (!MoveLeftoverWorkingArchiveAside(**archiveFolder, clock, prompter, recorder)) return 1;

    auto current = fileSystem.OpenCurrentFolder();
    if (!current) {
        ShowExclamation(prompter, kListFileUnwritableText);
        return 1;
    }
    Directory& currentFolder = **current;
    // Created anew, 0600 (the list names the user's files), and only as a regular file of ours: a name
    // planted by someone else could otherwise read the list or make the archiver run their command.
    auto listFile = currentFolder.OpenOwnFile(kArchiverListFileName, FileCreation::Exclusive, 0600);
    if (!listFile) {
        ShowExclamation(prompter, OwnFileProblemText(kListFileUnwritableText, listFile.status()));
        return 1;
    }
    ListFileGuard removeListFile(currentFolder);
    // A list cut short by a full disk would have the library pack only part of the ticked files and report
    // success for them; it must never reach the library.
    if (!WriteWhole(**listFile, ArchiverListText(workingArchive, paths)).ok()) {
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
    Directory& folder = **archiveFolder;
    // The library removes the sources one by one once the archive is complete, and Vask learns which are
    // gone only when it returns: a kill in between must still leave a journal that says where they are.
    std::vector<std::uint64_t> provisional;
    if (recorder) {
        provisional.reserve(paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i)
            provisional.push_back(recorder->Record(PackedEntry(paths[i], statuses[i], workingArchive)));
        recorder->Flush();
    }
    std::string output;
    const int run = library->Run(std::string("@") + kArchiverListFileName, output);
    // A failed run may still have put its archive in place (some sources could not be removed
    // afterwards): the leftover was set aside above, so a working archive now is this run's, and it is
    // finished like any other. Without one nothing was moved.
    if (run != 0) {
        auto placed = folder.StatEntry(kWorkingArchiveName);
        if (!placed || placed.value().kind != EntryKind::Regular) {
            if (recorder) RecordPackedFiles(fileSystem, folder, "", paths, statuses, provisional, *recorder);
            return 1;
        }
    }

    // The files are in the working archive now; stamping and naming are finishing touches that cannot lose
    // anything. The working archive is stamped before it is renamed, so the stamp lands on this run's
    // archive and never on an older one; one that cannot be renamed goes aside at the next run.
    StampFileTimes(folder, kWorkingArchiveName, state.timeSearch);
    std::string finalName;
    // The files are safe inside the working archive whether or not it gets its final name (one that keeps
    // the working name is set aside under a free name by the next run, see above), so the run stands; but
    // the user is told where they are, since nobody would look for them under the working name.
    const Status named =
        RenameToFreeArchiveName(folder, kWorkingArchiveName, clock.ToLocalTime(state.timeSearch), finalName);
    if (!named)
        ShowExclamation(prompter,
                        ArchiveKeptUnderWorkingNameText(folder.Path() + kWorkingArchiveName, named));
    if (recorder)
        RecordPackedFiles(fileSystem, folder, finalName.empty() ? kWorkingArchiveName : finalName, paths,
                          statuses, provisional, *recorder);
    return run == 0 && report.refused.empty() ? 0 : 1;
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
