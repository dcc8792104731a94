#include "disposal/OwnFileText.h"

#include <cerrno>

namespace vask {

std::string OwnFileProblemText(const std::string& headline, const Status& status) {
    const char* reason = nullptr;
    switch (status.code()) {
        case ELOOP:
            reason = "同じ名前のｼﾝﾎﾞﾘｯｸﾘﾝｸがあります。";
            break;
        case EISDIR:
            reason = "同じ名前のﾌｫﾙﾀﾞがあります。";
            break;
        case ENXIO:
            reason = "同じ名前の特殊ﾌｧｲﾙ(FIFOなど)があります。";
            break;
        case EPERM:
            reason = "同じ名前の他のﾕｰｻﾞｰのﾌｧｲﾙがあります。";
            break;
        default:
            break;
    }
    return reason == nullptr ? headline : headline + "\n" + reason;
}

}  // namespace vask
