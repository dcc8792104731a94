// The text-decoding port over glibc's iconv ("CP932", the Windows variant of Shift-JIS: NEC and IBM
// extensions, 0x5C as the backslash, 0x7E as the tilde).
#pragma once

#include "platform/TextDecoder.h"

namespace vask {

class IconvCp932Decoder : public Cp932Decoder {
  public:
    std::string Cp932ToUtf8(std::string_view text) override;
};

}  // namespace vask
