// "a" and "m": adding files to an archive, and removing them after the archive is safely in place.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "archiver/lha/Archive.h"
#include "archiver/lha/Folders.h"
#include "archiver/lha/OperationsInternal.h"

namespace vask::lha {
namespace {

struct Source {
    std::string path;         // absolute
    std::string member_name;  // stored path
    FileInfo found;           // the entry when the sources were collected
    FileInfo read_version;    // what was archived
};

std::string Dirname(const std::string& abs) {
    return abs.substr(0, abs.rfind('/') + 1);
}
std::string Basename(const std::string& abs) {
    return abs.substr(abs.rfind('/') + 1);
}

// Passes writes on and remembers whether one failed, which tells a write error from a read error.
class WatchedSink : public ByteSink {
  public:
    explicit WatchedSink(ByteSink& inner) : inner_(inner) {}
    Status Write(const uint8_t* data, size_t size) override { return Watch(inner_.Write(data, size)); }
    Status WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
        return Watch(inner_.WriteAt(offset, data, size));
    }
    Status Truncate(uint64_t offset) override { return Watch(inner_.Truncate(offset)); }
    uint64_t Size() const override { return inner_.Size(); }
    bool failed() const { return failed_; }

  private:
    Status Watch(Status s) {
        if (!s) failed_ = true;
        return s;
    }
    ByteSink& inner_;
    bool failed_ = false;
};

Status AddSource(const Command& cmd, FolderCache& folders, Source& src, WatchedSink& out,
                 std::vector<MemberHeader>& written) {
    auto [dir, name] = FolderCache::Split(src.path);
    auto folder = folders.Get(dir, false);
    if (!folder) return folder.status();
    auto before = (*folder)->StatEntry(name);
    if (!before) return before.status();
    if (!before->IsRegular()) return Status::Error(EINVAL, src.path, "add (not a regular file)");
    auto file = (*folder)->OpenFile(name);
    if (!file) return file.status();
    auto info = (*file)->Stat();
    if (!info) return info.status();
    if (!info->IsRegular() || info->device != before->device || info->inode != before->inode)
        return Status::Changed(src.path, "add (replaced while it was opened)");
    MemberHeader h;
    h.path = src.member_name;
    h.mtime = info->mtime.tv_sec;
    h.unix_mode = static_cast<uint16_t>(cmd.attributes ? info->mode : info->mode & ~07000u);
    h.uid = static_cast<uint16_t>(info->uid);
    h.gid = static_cast<uint16_t>(info->gid);
    auto member = AppendMember(out, h, cmd.method, **file, info->size);
    if (!member) {
        Status s = member.status();
        // A failed write is the archive's (a full disk), and already names the archive's temporary file.
        if (out.failed()) return s;
        return Status::Error(s.code(), src.path, s.operation());
    }
    auto after = (*file)->Stat();
    if (!after) return after.status();
    if (!after->SameVersionAs(*info) || member->original_size != info->size)
        return Status::Changed(src.path, "add (file changed while it was read)");
    src.read_version = *info;
    written.push_back(*member);
    return Status::Ok();
}

// The entry of a source as it is now, found through the folder it was read from.
Status CheckUnchanged(FolderCache& folders, const Source& src, std::shared_ptr<Folder>* folder) {
    auto [dir, name] = FolderCache::Split(src.path);
    auto f = folders.Get(dir, false);
    if (!f) return f.status();
    auto now = (*f)->StatEntry(name);
    if (!now) return now.status();
    if (!now->SameVersionAs(src.read_version)) return Status::Changed(src.path, "changed after it was read");
    if (folder) *folder = *f;
    return Status::Ok();
}

// Writes the complete new archive to file: the existing members that stay, then the sources. *code tells
// where a failure came from.
Status WriteArchive(const Command& cmd, FolderCache& folders, InputFile* old_archive,
                    const std::vector<MemberHeader>& old_members, std::vector<Source>& sources,
                    OutputFile& file, std::vector<MemberHeader>& written, int* code) {
    WatchedSink out(file);
    std::unordered_set<std::string> replaced;
    for (const Source& s : sources)
        replaced.insert(s.member_name);
    Status s;
    *code = kArchiveError;
    for (const MemberHeader& m : old_members) {
        if (replaced.count(m.path)) continue;
        if (s = CopyRange(*old_archive, m.offset, m.header_size + m.packed_size, out); !s) break;
        written.push_back(m);
    }
    if (s) *code = kSourceError;
    for (size_t i = 0; s && i < sources.size(); ++i)
        s = AddSource(cmd, folders, sources[i], out, written);
    if (s) {
        *code = kWriteError;
        s = AppendEndMark(out);
        if (s) s = file.Sync();
    }
    if (out.failed()) *code = kWriteError;
    return s;
}

// Reads the new archive back from the disk and checks that it holds exactly what was written.
Status ReadBack(InputFile& file, const std::string& shown, const std::vector<MemberHeader>& written) {
    auto members = VerifyArchive(file);
    if (!members) {
        Status s = members.status();
        return Status::Error(s.code(), shown, "check new archive: " + s.operation() + " " + s.path());
    }
    bool same = members->size() == written.size();
    for (size_t i = 0; same && i < written.size(); ++i) {
        const MemberHeader& a = (*members)[i];
        const MemberHeader& b = written[i];
        same = a.path == b.path && a.crc == b.crc && a.original_size == b.original_size;
    }
    if (!same) return Status::Error(EIO, shown, "check new archive (members differ from what was written)");
    return Status::Ok();
}

}  // namespace

Outcome AddOrMove(const Command& cmd, FileIo& io) {
    Report report;
    auto cwd = io.CurrentDir();
    if (!cwd) return report.Fail(kWriteError, cwd.status());
    const std::string archive = AbsolutePath(cmd.archive, *cwd);
    if (cmd.files.empty())
        return report.Fail(kBadCommand, Status::Error(EINVAL, archive, "add (no files named)"));

    // Collect the sources; the same file named twice is stored once. A set, not a scan of the sources so
    // far: Vask hands over 100,000 paths at a time. Every source is reached from "/" without following a
    // link, and read and removed through the folder opened then.
    FolderCache folders(io);
    std::vector<Source> sources;
    std::unordered_set<std::string> seen;
    std::unordered_map<std::string, std::string> by_member;
    for (const std::string& name : cmd.files) {
        std::string abs = AbsolutePath(name, *cwd);
        if (!seen.insert(abs).second) continue;
        if (abs == archive)
            return report.Fail(kSourceError, Status::Error(EINVAL, abs, "add (the archive itself)"));
        auto [source_dir, source_name] = FolderCache::Split(abs);
        auto folder = folders.Get(source_dir, false);
        if (!folder) return report.Fail(kSourceError, folder.status());
        auto info = (*folder)->StatEntry(source_name);
        if (!info) return report.Fail(kSourceError, info.status());
        if (!info->IsRegular()) {
            int code = info->IsDirectory() ? EISDIR : EINVAL;
            return report.Fail(kSourceError, Status::Error(code, abs, "add (not a regular file)"));
        }
        std::string member = cmd.full_paths ? abs.substr(1) : Basename(abs);
        // Two different files under one member name: one would replace the other in the archive and, for a
        // move, be removed without a copy.
        if (auto [it, fresh] = by_member.emplace(member, abs); !fresh)
            return report.Fail(kSourceError,
                               Status::Error(EEXIST, abs, "add (same member name as " + it->second + ")"));
        sources.push_back({abs, member, *info, {}});
    }

    // The existing archive, if any, must be readable from end to end.
    std::unique_ptr<InputFile> old_archive;
    std::vector<MemberHeader> old_members;
    uint32_t archive_mode = 0644;
    if (auto info = io.Lstat(archive); info) {
        if (!info->IsRegular())
            return report.Fail(kArchiveError,
                               Status::Error(EINVAL, archive, "open archive (not a regular file)"));
        archive_mode = info->mode & 07777;
        auto file = io.OpenRead(archive);
        if (!file) return report.Fail(kArchiveError, file.status());
        auto members = ReadDirectory(**file);
        if (!members)
            return report.Fail(kArchiveError,
                               Status::Error(members.status().code(), archive, members.status().operation()));
        old_archive = std::move(*file);
        old_members = std::move(*members);
    } else if (info.status().code() != ENOENT) {
        return report.Fail(kArchiveError, info.status());
    }

    // The archive must not let others read what a source kept from them: each source's missing group and
    // other read bits are taken away from the archive too.
    for (const Source& src : sources)
        archive_mode &= ~(~src.found.mode & 0044u);

    // A new archive is written without a name and linked into place once complete, which cannot replace
    // anything and leaves nothing behind if the run is killed. Replacing an existing archive (or a file
    // system without unnamed files) needs a hidden temporary name and a rename; a killed run leaves that
    // file as litter. It is never removed by a later run: a name alone proves nothing about whose file it is.
    const std::string dir = Dirname(archive);
    std::string temp;  // empty while the new archive has no name
    Result<std::unique_ptr<OutputFile>> out = Status::Error(EOPNOTSUPP, archive, "create");
    if (!old_archive) out = io.CreateUnnamed(dir, archive);
    if (!out && out.status().code() == EOPNOTSUPP)
        out = io.CreateTemp(dir, TempPrefix(Basename(archive)), &temp);
    if (!out) return report.Fail(kWriteError, out.status());
    std::vector<MemberHeader> written;
    int fail_code = kWriteError;
    Status s =
        WriteArchive(cmd, folders, old_archive.get(), old_members, sources, **out, written, &fail_code);
    if (s) fail_code = kWriteError;
    if (s) s = (*out)->SetMode(archive_mode);
    std::unique_ptr<InputFile> reader;
    if (s) {
        auto r = (*out)->Reopen();
        if (r)
            reader = std::move(*r);
        else
            s = r.status();
    }
    if (Status c = (*out)->Close(); s && !c) s = c;
    // A member of the old archive that fails its CRC shows up here: the old archive is damaged.
    if (s) s = ReadBack(*reader, temp.empty() ? archive : temp, written);
    if (!s && s.code() == EPROTO) fail_code = kArchiveError;
    // A source changed or swapped since it was read stops the move while nothing is in place yet.
    for (size_t i = 0; s && cmd.verb == 'm' && i < sources.size(); ++i) {
        if (s = CheckUnchanged(folders, sources[i], nullptr); !s) {
            s = Status::Error(s.code(), s.path(), "move (" + s.operation() + "; nothing removed)");
            fail_code = kSourceError;
        }
    }
    if (s) s = temp.empty() ? reader->LinkAs(archive) : io.Rename(temp, archive);
    if (!s) {
        // Only the file this run created goes; an unnamed one goes with its descriptor.
        if (!temp.empty())
            if (Status u = io.Unlink(temp); !u) report.Line(u);
        return report.Fail(fail_code, s);
    }
    // Until the folder entry is on the disk a crash could undo the rename; sources stay until it is.
    if (Status d = io.SyncDir(dir); !d) {
        report.Line(d);
        report.Summary("archive written to " + archive + ", but no file was removed");
        return report.Done(kWriteError);
    }

    int code = kOk;
    size_t removed = 0;
    if (cmd.verb == 'm') {
        for (const Source& src : sources) {
            std::shared_ptr<Folder> folder;
            Status r = CheckUnchanged(folders, src, &folder);
            if (r)
                r = folder->RemoveFile(FolderCache::Split(src.path).second);
            else if (r.changed())
                r = Status::Changed(src.path, "remove (changed after it was archived; kept)");
            if (r) {
                ++removed;
            } else {
                report.Line(r);
                code = kSourcesKept;
            }
        }
        report.Summary(std::to_string(removed) + " of " + std::to_string(sources.size()) +
                       " file(s) moved into " + archive);
    } else {
        report.Summary(std::to_string(sources.size()) + " file(s) added to " + archive);
    }
    return report.Done(code);
}

}  // namespace vask::lha
