// A decoding fake for core tests: ASCII passes unchanged and every other byte is spelled "<HH>" (upper-case
// hex), so a test sees exactly which bytes reached the decoder, and in which pieces.
#pragma once

#include <string>

#include "platform/TextDecoder.h"

namespace vask {

class SpelledCp932Decoder : public Cp932Decoder {
  public:
    std::string Cp932ToUtf8(std::string_view text) override {
        ++calls;
        static const char kHex[] = "0123456789ABCDEF";
        std::string out;
        for (char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                out += c;
            } else {
                out += '<';
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
                out += '>';
            }
        }
        return out;
    }
    int calls = 0;
};

}  // namespace vask
