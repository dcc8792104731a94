#include "platform/linux/IconvCp932Decoder.h"

#include <iconv.h>

#include <cerrno>

namespace vask {

namespace {

constexpr const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

}  // namespace

IconvCp932Decoder::IconvCp932Decoder() : handle_(::iconv_open("UTF-8", "CP932")) {}

IconvCp932Decoder::~IconvCp932Decoder() {
    if (static_cast<iconv_t>(handle_) != kNoConverter) ::iconv_close(static_cast<iconv_t>(handle_));
}

std::string IconvCp932Decoder::Cp932ToUtf8(std::string_view text) {
    const auto converter = static_cast<iconv_t>(handle_);
    std::string out;
    if (converter == kNoConverter) {
        for (char c : text)
            out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : std::string(kReplacement);
        return out;
    }
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);  // a fresh state for each text
    out.reserve(text.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(text.data());  // iconv's signature; the input is not written
    std::size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = ::iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // EILSEQ (no such character) or EINVAL (a lead byte cut off at the end): one byte is replaced and
        // the rest is decoded afresh, so one bad byte costs one character, not the line.
        out += kReplacement;
        ++in;
        --inLeft;
        ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

}  // namespace vask
