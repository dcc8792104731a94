// Where the home trash is and what an info file says: the free functions of FreedesktopTrash.h.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/linux/FreedesktopTrash.h"

namespace vask {

namespace {

std::string AbsoluteOrEmpty(const std::optional<std::string>& value, const char* tail) {
    if (!value || value->empty() || (*value)[0] != '/') return {};
    std::string path = *value;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return (path == "/" ? std::string() : path) + tail;
}

}  // namespace

std::string HomeTrashFolder(Environment& environment) {
    std::string path = AbsoluteOrEmpty(environment.Get("XDG_DATA_HOME"), "/Trash");
    if (path.empty()) path = AbsoluteOrEmpty(environment.Get("HOME"), "/.local/share/Trash");
    return path;
}

TrashContext SystemTrashContext(Environment& environment) {
    TrashContext context;
    context.homeTrash = HomeTrashFolder(environment);
    context.userId = ::geteuid();
    return context;
}

std::string LocalDeletionDate(std::int64_t secondsSinceEpoch) {
    const time_t t = static_cast<time_t>(secondsSinceEpoch);
    struct tm local;
    if (::localtime_r(&t, &local) == nullptr) return "1970-01-01T00:00:00";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string PercentEncodePath(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') ||
                           std::string_view("/-_.!~*'()").find(c) != std::string_view::npos;
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

}  // namespace vask
