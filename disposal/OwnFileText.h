// Messages about the files Vask keeps by bare name in the current folder (Vask.Log, the archiver's list
// file, the pattern list file), for callers of Directory::CheckOwnFile and Directory::OpenOwnFile.
#pragma once

#include <string>

#include "platform/Status.h"

namespace vask {

// headline, followed on a second line by why the entry was refused when status is one of the own-file
// rule's refusals (a symbolic link, a folder, a FIFO or device, another user's file), e.g.
// "ﾌｧｲﾙ Vask.Log に書き込めません。\n同じ名前のｼﾝﾎﾞﾘｯｸﾘﾝｸがあります。". Any other status: headline alone.
std::string OwnFileProblemText(const std::string& headline, const Status& status);

}  // namespace vask
