// A small program for kill and fault tests of the disposal: moves the files named on its command line into a
// folder through the file-operation engine, agreeing to everything, as a disposal run does.
// Usage: vask_dispose_driver [--named-temporaries] TARGET_FOLDER FILE...   Exit code: the operation's result
// (0 when all moved). --named-temporaries: copies are written under journaled temporary names, as on file
// systems without unnamed files. The journal follows $XDG_STATE_HOME.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/ProcessEnvironment.h"
#include "tests/disposal/AgreeingFileOperationUi.h"

int main(int argc, char** argv) {
    const bool named = argc > 1 && std::string(argv[1]) == "--named-temporaries";
    const int first = named ? 2 : 1;
    if (argc < first + 2) return 2;
    std::vector<vask::FileOperationItem> items;
    for (int i = first + 1; i < argc; ++i) {
        struct stat st;
        if (::lstat(argv[i], &st) != 0) return 2;
        items.push_back(vask::FileOperationItem{
            argv[i], static_cast<std::uint64_t>(st.st_size),
            vask::FileIdentity{st.st_dev, st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec}});
    }
    vask::ProcessEnvironment environment;
    vask::PosixFileSystem fs(vask::SystemTrashContext(environment), vask::TemporaryJournalFolder(environment),
                             !named);
    vask::AgreeingFileOperationUi ui;
    vask::FileOperationEngine engine(fs, ui);
    return engine.Run(vask::FileOperationKind::Move, items, argv[first]).Result();
}
