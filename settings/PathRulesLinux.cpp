#include "settings/FolderPath.h"

namespace vask {

// Linux: UTF-8, "/" and case-sensitive names. A Windows build compiles its own file in place of this one.
const PathRules& SystemPathRules() {
    return kLinuxPathRules;
}

}  // namespace vask
