// Pieces shared by the command implementations.
#pragma once

#include <string>

#include "archiver/lha/Operations.h"

namespace vask::lha {

// Collects the report text of a command.
class Report {
  public:
    void Line(const Status& s) { text_ += "error: " + s.ToString() + "\n"; }
    void Text(const std::string& line) { text_ += line + "\n"; }
    void Summary(const std::string& line) { text_ += line + "\n"; }
    Outcome Fail(int code, const Status& s) {
        Line(s);
        return {code, text_};
    }
    Outcome Done(int code) { return {code, text_}; }

  private:
    std::string text_;
};

// Temporary files of the archiver are hidden and recognisable: ".NAME.vask-" plus random characters.
inline std::string TempPrefix(const std::string& name) {
    return "." + name + ".vask-";
}

Outcome AddOrMove(const Command& cmd, FileIo& io);
Outcome ListOrTest(const Command& cmd, FileIo& io);
Outcome Extract(const Command& cmd, FileIo& io);

}  // namespace vask::lha
