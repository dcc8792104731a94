// "l", "t" and "x": reading an archive.
#include <algorithm>
#include <unordered_set>

#include "archiver/lha/Archive.h"
#include "archiver/lha/Folders.h"
#include "archiver/lha/OperationsInternal.h"

namespace vask::lha {
namespace {

Result<std::unique_ptr<InputFile>> OpenArchive(const std::string& path, FileIo& io) {
    auto info = io.Lstat(path);
    if (!info) return info.status();
    if (!info->IsRegular()) return Status::Error(EINVAL, path, "open archive (not a regular file)");
    return io.OpenRead(path);
}

// The members a command names, by their stored and their safe path. Looked up in sets: Vask names
// thousands of members in one extraction, and each of them is tested against every member of the archive.
class Selection {
  public:
    explicit Selection(const Command& cmd) : all_(cmd.files.empty()) {
        for (const std::string& f : cmd.files) {
            exact_.insert(f);
            if (std::string safe = SafeMemberPath(f); !safe.empty()) safe_.insert(std::move(safe));
        }
    }
    bool Selected(const MemberHeader& m) const {
        if (all_ || exact_.count(m.path) != 0) return true;
        const std::string safe = SafeMemberPath(m.path);
        return !safe.empty() && safe_.count(safe) != 0;
    }

  private:
    bool all_;
    std::unordered_set<std::string> exact_;
    std::unordered_set<std::string> safe_;
};

// Writes one member to root + rel through a temporary file, so that a damaged member never leaves a
// half-written file in place of a good one. Every folder on the way is opened (or made) from "/" without
// following a link: a link inside the target root, or on the way to it, is refused and never written through.
Status ExtractFile(const Command& cmd, FolderCache& folders, InputFile& archive, const MemberHeader& m,
                   const std::string& root, const std::string& rel) {
    auto [dir, name] = FolderCache::Split(root + rel);
    auto folder = folders.Get(dir, true);
    if (!folder) return folder.status();
    std::string temp;
    auto out = (*folder)->CreateTemp(TempPrefix(name), &temp);
    if (!out) return out.status();
    Status s = ExtractMember(archive, m, **out);
    uint32_t mode = m.unix_mode ? *m.unix_mode & (cmd.attributes ? 07777u : 0777u) : 0644u;
    if (s) s = (*out)->SetMode(mode);
    if (s) s = (*out)->Sync();
    if (s) s = (*out)->SetTime(m.mtime);
    if (Status c = (*out)->Close(); s && !c) s = c;
    if (s) s = (*folder)->RenameEntry(temp, name);
    if (!s) (void)(*folder)->RemoveFile(temp);
    return s;
}

}  // namespace

Outcome ListOrTest(const Command& cmd, FileIo& io) {
    Report report;
    auto cwd = io.CurrentDir();
    if (!cwd) return report.Fail(kArchiveError, cwd.status());
    std::string path = AbsolutePath(cmd.archive, *cwd);
    auto file = OpenArchive(path, io);
    if (!file) return report.Fail(kArchiveError, file.status());
    auto members = cmd.verb == 't' ? VerifyArchive(**file) : ReadDirectory(**file);
    if (!members) {
        Status s = members.status();
        return report.Fail(kArchiveError, Status::Error(s.code(), path, s.operation() + " " + s.path()));
    }
    size_t count = 0;
    const Selection selection(cmd);
    for (const MemberHeader& m : *members) {
        if (!selection.Selected(m)) continue;
        ++count;
        if (cmd.verb == 'l')
            report.Text(m.method_id + " " + std::to_string(m.original_size) + " " +
                        std::to_string(m.packed_size) + " " + m.path);
    }
    report.Summary(std::to_string(count) + (cmd.verb == 't' ? " member(s) tested OK in " : " member(s) in ") +
                   path);
    return report.Done(kOk);
}

Outcome Extract(const Command& cmd, FileIo& io) {
    Report report;
    auto cwd = io.CurrentDir();
    if (!cwd) return report.Fail(kArchiveError, cwd.status());
    std::string path = AbsolutePath(cmd.archive, *cwd);
    std::string root = AbsolutePath(cmd.target_root.empty() ? "." : cmd.target_root, *cwd);
    auto file = OpenArchive(path, io);
    if (!file) return report.Fail(kArchiveError, file.status());
    auto members = ReadDirectory(**file);
    if (!members)
        return report.Fail(kArchiveError,
                           Status::Error(members.status().code(), path, members.status().operation()));
    FolderCache folders(io);
    if (auto r = folders.Get(root, true); !r) return report.Fail(kWriteError, r.status());
    if (root != "/") root += '/';
    int code = kOk;
    size_t done = 0;
    const Selection selection(cmd);
    for (const MemberHeader& m : *members) {
        if (!selection.Selected(m)) continue;
        std::string rel = SafeMemberPath(m.path);
        bool is_dir = m.method_id == "-lhd-";
        bool is_file = !m.unix_mode || (*m.unix_mode & 0170000) == 0100000 || (*m.unix_mode & 0170000) == 0;
        if (rel.empty() || (!is_dir && !is_file)) {
            // ".." could write outside the target folder; links and devices are not created.
            report.Line(Status::Error(EINVAL, m.path, "extract (unsafe name or not a plain file; skipped)"));
            code = std::max<int>(code, kMemberSkipped);
            continue;
        }
        Status s =
            is_dir ? folders.Get(root + rel, true).status() : ExtractFile(cmd, folders, **file, m, root, rel);
        if (!s) {
            report.Line(s);
            code = s.code() == EPROTO ? kArchiveError : s.code() == ELOOP ? kMemberSkipped : kWriteError;
            continue;
        }
        ++done;
    }
    report.Summary(std::to_string(done) + " member(s) extracted to " + root);
    return report.Done(code);
}

}  // namespace vask::lha
