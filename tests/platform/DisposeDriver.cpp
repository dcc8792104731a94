// A small program for kill and fault tests of the disposal: moves the files named on its command line into a
// folder through the file-operation engine, agreeing to everything, as a disposal run does.
// Usage: vask_dispose_driver TARGET_FOLDER FILE...   Exit code: the operation's result (0 when all moved).
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/disposal/AgreeingFileOperationUi.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::vector<vask::FileOperationItem> items;
    for (int i = 2; i < argc; ++i) {
        struct stat st;
        if (::lstat(argv[i], &st) != 0) return 2;
        items.push_back(vask::FileOperationItem{
            argv[i], static_cast<std::uint64_t>(st.st_size),
            vask::FileIdentity{st.st_dev, st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec}});
    }
    vask::PosixFileSystem fs;
    vask::AgreeingFileOperationUi ui;
    vask::FileOperationEngine engine(fs, ui);
    return engine.Run(vask::FileOperationKind::Move, items, argv[1]).Result();
}
