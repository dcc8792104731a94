#include "archiver/lha/Operations.h"

#include <vector>

#include "archiver/lha/OperationsInternal.h"

namespace vask::lha {

std::string AbsolutePath(const std::string& path, const std::string& cwd) {
    std::string joined = !path.empty() && path[0] == '/' ? path : cwd + "/" + path;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= joined.size()) {
        size_t slash = joined.find('/', i);
        if (slash == std::string::npos) slash = joined.size();
        std::string part = joined.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string SafeMemberPath(const std::string& path) {
    std::string out;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(i, slash - i);
        if (part == "..") return "";
        if (!part.empty() && part != ".") out += (out.empty() ? "" : "/") + part;
        i = slash + 1;
    }
    return out;
}

Outcome RunCommand(const Command& command, FileIo& io) {
    switch (command.verb) {
        case 'a':
        case 'm':
            return AddOrMove(command, io);
        case 'l':
        case 't':
            return ListOrTest(command, io);
        case 'x':
            return Extract(command, io);
        default:
            break;
    }
    Report report;
    return report.Fail(kBadCommand, Status::Error(EINVAL, "", "unknown command"));
}

}  // namespace vask::lha
