// Helpers for the archiver tests: temporary folders, file contents, a fault-injecting file system.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archiver/lha/Command.h"
#include "archiver/lha/FileIo.h"
#include "archiver/lha/Operations.h"

namespace vask::lha::test {

inline std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// Parses and runs one command line, as the library's entry point does.
inline Outcome RunLine(FileIo& io, const std::string& line) {
    auto cmd = ParseCommand(line, io);
    if (!cmd) return {kBadCommand, cmd.status().ToString()};
    return RunCommand(*cmd, io);
}

class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vask-lha-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
        path_ += "/";
    }
    ~TempDir() {
        std::error_code ec;
        // Restore permissions a test may have taken away so that removal works.
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            if (e.is_directory(ec)) ::chmod(e.path().c_str(), 0755);
        ::chmod(path_.c_str(), 0755);
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Names in a folder (not recursive), sorted.
inline std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string TextOf(size_t size, uint32_t seed) {
    static const char* words[] = {"move ", "safety ", "archive ", "folder ", "member ", "\n", "of ", "the "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size)
        s += words[rng() % 8];
    s.resize(size);
    return s;
}

// The real file system with faults on demand.
class FaultyFileIo : public FileIo {
  public:
    // Output files fail with write_errno once more than fail_writes_after bytes were written in total.
    uint64_t fail_writes_after = UINT64_MAX;
    int write_errno = ENOSPC;
    int sync_errno = 0;                       // fsync of output files fails with this
    std::map<std::string, int> open_errno;    // OpenRead of the path fails
    std::string vanish_on_open;               // removed just before it is opened
    std::map<std::string, int> unlink_errno;  // Unlink of the path fails
    int rename_errno = 0;
    int sync_dir_errno = 0;         // SyncDir fails with this
    int create_errno = 0;           // CreateTemp and CreateUnnamed fail with this
    int unnamed_errno = 0;          // CreateUnnamed fails with this (EOPNOTSUPP: as without O_TMPFILE)
    std::string modify_while_read;  // appended to after its first read
    // Run once the new archive is written (every source read, nothing checked or put in place yet), and once
    // it has been renamed or linked into place (before any source is removed). rename_errno fails both.
    std::function<void()> after_close, after_rename;

    Result<std::unique_ptr<Folder>> OpenRoot() override {
        auto r = real().OpenRoot();
        if (!r) return r;
        return std::unique_ptr<Folder>(new FaultyFolder(std::move(*r), *this));
    }
    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        return Faulty(path, [&] { return real().OpenRead(path); });
    }
    Result<std::unique_ptr<OutputFile>> CreateTemp(const std::string& dir, const std::string& prefix,
                                                   std::string* path) override {
        if (create_errno) return Status::Error(create_errno, dir, "create temporary file");
        auto r = real().CreateTemp(dir, prefix, path);
        if (!r) return r;
        return std::unique_ptr<OutputFile>(new Output(std::move(*r), *this, *path));
    }
    Result<std::unique_ptr<OutputFile>> CreateUnnamed(const std::string& dir,
                                                      const std::string& reported) override {
        if (create_errno) return Status::Error(create_errno, reported, "create");
        if (unnamed_errno) return Status::Error(unnamed_errno, reported, "create");
        auto r = real().CreateUnnamed(dir, reported);
        if (!r) return r;
        return std::unique_ptr<OutputFile>(new Output(std::move(*r), *this, reported));
    }
    Result<FileInfo> Lstat(const std::string& path) override { return real().Lstat(path); }
    Status Rename(const std::string& from, const std::string& to) override {
        if (rename_errno) return Status::Error(rename_errno, to, "rename");
        Status s = real().Rename(from, to);
        if (s && after_rename) after_rename();
        return s;
    }
    Status Unlink(const std::string& path) override {
        if (auto it = unlink_errno.find(path); it != unlink_errno.end())
            return Status::Error(it->second, path, "remove");
        return real().Unlink(path);
    }
    Status SyncDir(const std::string& dir) override {
        if (sync_dir_errno) return Status::Error(sync_dir_errno, dir, "fsync folder");
        return real().SyncDir(dir);
    }
    Result<std::string> CurrentDir() override { return real().CurrentDir(); }
    Result<std::string> ReadListFile(const std::string& path) override { return real().ReadListFile(path); }

  private:
    static FileIo& real() { return PosixFileIo(); }
    template <class Open>
    Result<std::unique_ptr<InputFile>> Faulty(const std::string& path, Open open) {
        if (path == vanish_on_open) ::unlink(path.c_str());
        if (auto it = open_errno.find(path); it != open_errno.end())
            return Status::Error(it->second, path, "open");
        auto r = open();
        if (r && path == modify_while_read)
            return std::unique_ptr<InputFile>(new GrowingInput(std::move(*r), path));
        return r;
    }
    // The faults above, for files reached through folders (sources, extracted files).
    class FaultyFolder : public Folder {
      public:
        FaultyFolder(std::unique_ptr<Folder> inner, FaultyFileIo& io) : inner_(std::move(inner)), io_(io) {}
        const std::string& path() const override { return inner_->path(); }
        Result<FileInfo> Stat() override { return inner_->Stat(); }
        Result<std::unique_ptr<Folder>> OpenFolder(const std::string& name, bool create) override {
            auto r = inner_->OpenFolder(name, create);
            if (!r) return r;
            return std::unique_ptr<Folder>(new FaultyFolder(std::move(*r), io_));
        }
        Result<FileInfo> StatEntry(const std::string& name) override { return inner_->StatEntry(name); }
        Result<std::unique_ptr<InputFile>> OpenFile(const std::string& name) override {
            return io_.Faulty(Join(name), [&] { return inner_->OpenFile(name); });
        }
        Status RemoveFile(const std::string& name) override {
            if (auto it = io_.unlink_errno.find(Join(name)); it != io_.unlink_errno.end())
                return Status::Error(it->second, Join(name), "remove");
            return inner_->RemoveFile(name);
        }
        Result<std::unique_ptr<OutputFile>> CreateTemp(const std::string& prefix,
                                                       std::string* name) override {
            if (io_.create_errno) return Status::Error(io_.create_errno, path(), "create temporary file");
            auto r = inner_->CreateTemp(prefix, name);
            if (!r) return r;
            return std::unique_ptr<OutputFile>(new Output(std::move(*r), io_, Join(*name)));
        }
        Status RenameEntry(const std::string& from, const std::string& to) override {
            return inner_->RenameEntry(from, to);
        }

      private:
        std::string Join(const std::string& name) const {
            return path() == "/" ? "/" + name : path() + "/" + name;
        }
        std::unique_ptr<Folder> inner_;
        FaultyFileIo& io_;
    };
    // Another program appends to the file while we read it.
    class GrowingInput : public InputFile {
      public:
        GrowingInput(std::unique_ptr<InputFile> inner, std::string path)
            : inner_(std::move(inner)), path_(std::move(path)) {}
        Result<size_t> Read(uint8_t* data, size_t size) override {
            auto r = inner_->Read(data, size);
            if (!grown_) {
                grown_ = true;
                timespec later[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
                std::ofstream(path_, std::ios::app) << "more";
                ::utimensat(AT_FDCWD, path_.c_str(), later, 0);
            }
            return r;
        }
        Status Seek(uint64_t offset) override { return inner_->Seek(offset); }
        uint64_t Tell() const override { return inner_->Tell(); }
        Result<FileInfo> Stat() override { return inner_->Stat(); }
        Status LinkAs(const std::string& path) override { return inner_->LinkAs(path); }

      private:
        std::unique_ptr<InputFile> inner_;
        std::string path_;
        bool grown_ = false;
    };
    // The new archive read back; once linked into place it runs after_rename as a rename does.
    class Reader : public InputFile {
      public:
        Reader(std::unique_ptr<InputFile> inner, FaultyFileIo& io) : inner_(std::move(inner)), io_(io) {}
        Result<size_t> Read(uint8_t* data, size_t size) override { return inner_->Read(data, size); }
        Status Seek(uint64_t offset) override { return inner_->Seek(offset); }
        uint64_t Tell() const override { return inner_->Tell(); }
        Result<FileInfo> Stat() override { return inner_->Stat(); }
        Status LinkAs(const std::string& path) override {
            if (io_.rename_errno) return Status::Error(io_.rename_errno, path, "link");
            Status s = inner_->LinkAs(path);
            if (s && io_.after_rename) io_.after_rename();
            return s;
        }

      private:
        std::unique_ptr<InputFile> inner_;
        FaultyFileIo& io_;
    };
    class Output : public OutputFile {
      public:
        Output(std::unique_ptr<OutputFile> inner, FaultyFileIo& io, std::string path)
            : inner_(std::move(inner)), io_(io), path_(std::move(path)) {}
        Status Write(const uint8_t* data, size_t size) override {
            if (Status s = Count(size); !s) return s;
            return inner_->Write(data, size);
        }
        Status WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
            return inner_->WriteAt(offset, data, size);
        }
        Status Truncate(uint64_t offset) override { return inner_->Truncate(offset); }
        uint64_t Size() const override { return inner_->Size(); }
        Status Sync() override {
            if (io_.sync_errno) return Status::Error(io_.sync_errno, path_, "fsync");
            return inner_->Sync();
        }
        Status SetMode(uint32_t mode) override { return inner_->SetMode(mode); }
        Status SetTime(int64_t mtime) override { return inner_->SetTime(mtime); }
        Status Close() override {
            Status s = inner_->Close();
            if (io_.after_close) io_.after_close();
            return s;
        }
        Result<std::unique_ptr<InputFile>> Reopen() override {
            auto r = inner_->Reopen();
            if (!r) return r;
            return std::unique_ptr<InputFile>(new Reader(std::move(*r), io_));
        }

      private:
        Status Count(size_t size) {
            io_.written_ += size;
            if (io_.written_ > io_.fail_writes_after) return Status::Error(io_.write_errno, path_, "write");
            return Status::Ok();
        }
        std::unique_ptr<OutputFile> inner_;
        FaultyFileIo& io_;
        std::string path_;
    };
    uint64_t written_ = 0;
};

}  // namespace vask::lha::test
