// The text-decoding port over glibc's iconv ("CP932", the Windows variant of Shift-JIS: NEC and IBM
// extensions, 0x5C as the backslash, 0x7E as the tilde). One converter is opened with the decoder and
// reused for every text, as a list is decoded line by line. Not for use by two threads at once.
#pragma once

#include "platform/TextDecoder.h"

namespace vask {

class IconvCp932Decoder : public Cp932Decoder {
  public:
    IconvCp932Decoder();
    ~IconvCp932Decoder() override;
    IconvCp932Decoder(const IconvCp932Decoder&) = delete;
    IconvCp932Decoder& operator=(const IconvCp932Decoder&) = delete;

    // Without the system's CP932 tables, ASCII passes and every other byte becomes U+FFFD.
    std::string Cp932ToUtf8(std::string_view text) override;

  private:
    void* handle_;  // iconv_t
};

}  // namespace vask
