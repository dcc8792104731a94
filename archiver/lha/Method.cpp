#include "archiver/lha/Method.h"

namespace vask::lha {

std::string MethodId(Method m) {
    switch (m) {
        case Method::kStored:
            return "-lh0-";
        case Method::kLh4:
            return "-lh4-";
        case Method::kLh5:
            return "-lh5-";
        case Method::kLh6:
            return "-lh6-";
        case Method::kLh7:
            return "-lh7-";
        case Method::kDirectory:
            return "-lhd-";
    }
    return "-lh0-";
}

std::optional<Method> ParseMethodId(const std::string& id) {
    for (Method m :
         {Method::kStored, Method::kLh4, Method::kLh5, Method::kLh6, Method::kLh7, Method::kDirectory})
        if (id == MethodId(m)) return m;
    return std::nullopt;
}

int DictionaryBits(Method m) {
    switch (m) {
        case Method::kLh4:
            return 12;
        case Method::kLh5:
            return 13;
        case Method::kLh6:
            return 15;
        case Method::kLh7:
            return 16;
        default:
            return 0;
    }
}

}  // namespace vask::lha
