#include "platform/linux/IconvCp932Decoder.h"

#include <iconv.h>

#include <cerrno>

namespace vask {

namespace {

constexpr const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

class Converter {
  public:
    Converter() : handle_(::iconv_open("UTF-8", "CP932")) {}
    ~Converter() {
        if (ok()) ::iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return handle_; }

  private:
    iconv_t handle_;
};

}  // namespace

std::string IconvCp932Decoder::Cp932ToUtf8(std::string_view text) {
    Converter converter;
    std::string out;
    if (!converter.ok()) {
        // No CP932 tables installed: ASCII passes, everything else is marked as undecodable.
        for (char c : text) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += kReplacement;
            }
        }
        return out;
    }
    out.reserve(text.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(text.data());  // iconv's signature; the input is not written
    std::size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = ::iconv(converter.handle(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ (no such character) or EINVAL (a lead byte cut off at the end): one byte is replaced and
        // the rest is decoded afresh, so one bad byte costs one character, not the line.
        out += kReplacement;
        ++in;
        --inLeft;
        ::iconv(converter.handle(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

}  // namespace vask
