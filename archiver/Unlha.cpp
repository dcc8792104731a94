// The C interface of libunlha32.so. Only these two functions are exported.
#include "archiver/Unlha.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "archiver/lha/Lock.h"
#include "archiver/lha/Operations.h"

namespace {

void CopyOut(const std::string& text, char* output, unsigned long size) {
    if (output == nullptr || size == 0) return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

int Run(const char* command_line, std::string& text) {
    using namespace vask::lha;
    if (command_line == nullptr) {
        text = "error: no command\n";
        return kBadCommand;
    }
    auto& io = PosixFileIo();
    auto command = ParseCommand(command_line, io);
    if (!command) {
        text = "error: " + command.status().ToString() + "\n";
        return kBadCommand;
    }
    OperationLock lock;
    if (vask::Status s = lock.TryAcquire(LockFilePath()); !s) {
        text = s.busy() ? "error: another archive operation is running\n" : "error: " + s.ToString() + "\n";
        return s.busy() ? kBusy : kWriteError;
    }
    Outcome outcome = RunCommand(*command, io);
    text = outcome.text;
    return outcome.code;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int Unlha(void* /*window*/, const char* commandLine,
                                                            char* output, unsigned long outputSize) {
    std::string text;
    int code;
    try {
        code = Run(commandLine, text);
    } catch (...) {  // out of memory and the like must not cross into a C caller
        text = "error: internal failure\n";
        code = vask::lha::kWriteError;
    }
    CopyOut(text, output, outputSize);
    return code;
}

extern "C" __attribute__((visibility("default"))) int UnlhaGetRunning(void) {
    try {
        return vask::lha::LockIsHeld(vask::lha::LockFilePath()) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
