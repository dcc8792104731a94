#include "platform/linux/DlopenArchiverLoader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>

namespace vask {

namespace {

using UnlhaFunction = int (*)(void*, const char*, char*, unsigned long);
using GetRunningFunction = int (*)();

class DlopenArchiverLibrary : public ArchiverLibrary {
  public:
    DlopenArchiverLibrary(void* handle, UnlhaFunction unlha, GetRunningFunction getRunning)
        : handle_(handle), unlha_(unlha), getRunning_(getRunning) {}
    ~DlopenArchiverLibrary() override { ::dlclose(handle_); }
    DlopenArchiverLibrary(const DlopenArchiverLibrary&) = delete;
    DlopenArchiverLibrary& operator=(const DlopenArchiverLibrary&) = delete;

    int GetRunning() override { return getRunning_(); }

    int Run(const std::string& commandLine, std::string& output) override {
        char buffer[256] = {};
        const int code = unlha_(nullptr, commandLine.c_str(), buffer, sizeof buffer);
        // The library terminates what it writes; strnlen guards against one that fills the buffer.
        output.assign(buffer, ::strnlen(buffer, sizeof buffer));
        return code;
    }

  private:
    void* handle_;
    UnlhaFunction unlha_;
    GetRunningFunction getRunning_;
};

}  // namespace

DlopenArchiverLoader::DlopenArchiverLoader() : candidates_(DefaultCandidates()) {}

DlopenArchiverLoader::DlopenArchiverLoader(std::vector<std::string> candidates)
    : candidates_(std::move(candidates)) {}

std::vector<std::string> DlopenArchiverLoader::DefaultCandidates() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    std::string folder(path, static_cast<std::size_t>(length));
    folder.erase(folder.rfind('/') + 1);
    return {folder + "../lib/libunlha32.so", folder + "libunlha32.so", folder + "../archiver/libunlha32.so"};
}

std::unique_ptr<ArchiverLibrary> DlopenArchiverLoader::Load() {
    lastError_.clear();
    for (const std::string& candidate : candidates_) {
        // A path with a "/" makes dlopen open exactly that file, without LD_LIBRARY_PATH or the cache.
        void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = ::dlerror();
            lastError_ += (error ? error : candidate + ": cannot be loaded") + std::string("\n");
            continue;
        }
        void* unlha = ::dlsym(handle, "Unlha");
        void* getRunning = ::dlsym(handle, "UnlhaGetRunning");
        if (unlha == nullptr || getRunning == nullptr) {
            lastError_ += candidate + ": lacks Unlha or UnlhaGetRunning\n";
            ::dlclose(handle);
            continue;
        }
        return std::make_unique<DlopenArchiverLibrary>(handle, reinterpret_cast<UnlhaFunction>(unlha),
                                                       reinterpret_cast<GetRunningFunction>(getRunning));
    }
    return nullptr;
}

}  // namespace vask
