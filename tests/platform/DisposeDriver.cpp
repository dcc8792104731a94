// A small program for kill and fault tests of the disposal: moves the files named on its command line into a
// folder through the file-operation engine, agreeing to everything, as a disposal run does.
// Usage: vask_dispose_driver [--named-temporaries] [--replace] TARGET_FOLDER FILE...   Exit code: the
// operation's result (0 when all moved). --named-temporaries: copies are written under journaled temporary
// names, as on file systems without unnamed files; --replace: files of the same name in the folder are
// replaced (else kept). The journal follows $XDG_STATE_HOME.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/ProcessEnvironment.h"
#include "tests/disposal/AgreeingFileOperationUi.h"

namespace {

class ReplacingUi : public vask::AgreeingFileOperationUi {
  public:
    vask::ReplaceAnswer AskReplace(const std::string&, const std::string&) override {
        return vask::ReplaceAnswer::YesToAll;
    }
};

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    bool named = false;
    bool replace = false;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        const std::string option = argv[first];
        named = named || option == "--named-temporaries";
        replace = replace || option == "--replace";
    }
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
    vask::AgreeingFileOperationUi agreeing;
    ReplacingUi replacing;
    vask::FileOperationEngine engine(fs, replace ? static_cast<vask::FileOperationUi&>(replacing) : agreeing);
    return engine.Run(vask::FileOperationKind::Move, items, argv[first]).Result();
}
