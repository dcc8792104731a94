// The text-decoding port: turns text in the Windows Japanese code page (CP932) into UTF-8, for pattern
// lists brought from a Windows machine. Core code has no conversion tables of its own; the Linux adapter
// uses iconv (platform/linux/IconvCp932Decoder.h), tests a fake that spells bytes out.
#pragma once

#include <string>
#include <string_view>

namespace vask {

class Cp932Decoder {
  public:
    virtual ~Cp932Decoder() = default;
    // The UTF-8 form of text. Never fails: a byte (or a lead byte with its trail byte) that is no CP932
    // character becomes U+FFFD, and decoding goes on with the next byte.
    virtual std::string Cp932ToUtf8(std::string_view text) = 0;
};

}  // namespace vask
