#include "archiver/lha/Header.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "archiver/lha/Crc16.h"

namespace vask::lha {
namespace {

Status Bad(const std::string& why) {
    return Status::Error(EPROTO, "", "read header (" + why + ")");
}

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16;
}
uint64_t Get64(const uint8_t* p) {
    return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}
void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

// MS-DOS date and time fields, in local time as the writers of level 0 and 1 headers keep them.
int64_t FromDosTime(uint32_t v) {
    std::tm tm{};
    tm.tm_sec = static_cast<int>(v & 0x1F) * 2;
    tm.tm_min = static_cast<int>(v >> 5 & 0x3F);
    tm.tm_hour = static_cast<int>(v >> 11 & 0x1F);
    tm.tm_mday = static_cast<int>(v >> 16 & 0x1F);
    tm.tm_mon = static_cast<int>(v >> 21 & 0x0F) - 1;
    tm.tm_year = static_cast<int>(v >> 25) + 80;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

// Path bytes of level 0/1 names and directory fields: 0xFF and "\" separate folders.
std::string SeparatorsToSlash(std::string s, bool backslash_too) {
    for (char& c : s)
        if (static_cast<uint8_t>(c) == 0xFF || (backslash_too && c == '\\')) c = '/';
    return s;
}

struct Extensions {
    std::optional<std::string> name, dir;
    std::optional<uint16_t> header_crc;
    size_t header_crc_at = 0;
};

// Walks the extended headers in buf[at, end) starting with one of size next (level 1 and 2 layout: a type
// byte, the data, then the size of the next one). Returns the bytes they take.
Result<size_t> ReadExtensions(const uint8_t* buf, size_t at, size_t end, uint16_t next, MemberHeader& h,
                              Extensions& ext) {
    size_t start = at;
    while (next != 0) {
        if (next < 3 || end - at < next) return Bad("extended header runs past the header");
        const uint8_t* e = buf + at;
        size_t data = next - 3;
        const uint8_t* d = e + 1;
        switch (e[0]) {
            case 0x00:
                if (data >= 2) {
                    ext.header_crc = Get16(d);
                    ext.header_crc_at = at + 1;
                }
                break;
            case 0x01:
                ext.name = std::string(reinterpret_cast<const char*>(d), data);
                break;
            case 0x02:
                ext.dir = SeparatorsToSlash(std::string(reinterpret_cast<const char*>(d), data), false);
                break;
            case 0x42:
                if (data >= 16) {
                    h.packed_size = Get64(d);
                    h.original_size = Get64(d + 8);
                }
                break;
            case 0x50:
                if (data >= 2) h.unix_mode = Get16(d);
                break;
            case 0x51:
                if (data >= 4) {
                    h.gid = Get16(d);
                    h.uid = Get16(d + 2);
                }
                break;
            case 0x54:
                if (data >= 4) h.mtime = Get32(d);
                break;
            default:
                break;  // comments, Windows times and the like carry nothing we keep
        }
        at += next;
        next = Get16(buf + at - 2);
    }
    return at - start;
}

std::string JoinPath(const std::optional<std::string>& dir, const std::string& name) {
    if (!dir || dir->empty()) return name;
    std::string path = *dir;
    if (path.back() != '/') path += '/';
    return path + name;
}

Result<std::optional<MemberHeader>> ReadLevel01(ByteSource& source, const uint8_t* first, uint64_t offset) {
    MemberHeader h;
    h.offset = offset;
    size_t base = static_cast<size_t>(first[0]) + 2;
    if (base < 24) return Bad("too short");
    std::vector<uint8_t> buf(base);
    std::copy(first, first + 22, buf.begin());
    if (Status s = ReadExact(source, buf.data() + 22, base - 22, "read header"); !s) return Bad("truncated");
    uint8_t sum = 0;
    for (size_t i = 2; i < base; ++i)
        sum = static_cast<uint8_t>(sum + buf[i]);
    if (sum != buf[1]) return Bad("checksum mismatch");
    h.level = buf[20];
    h.method_id.assign(reinterpret_cast<const char*>(buf.data() + 2), 5);
    h.packed_size = Get32(buf.data() + 7);
    h.original_size = Get32(buf.data() + 11);
    h.mtime = FromDosTime(Get32(buf.data() + 15));
    size_t name_len = buf[21];
    if (22 + name_len + 2 > base) return Bad("name runs past the header");
    std::string name(reinterpret_cast<const char*>(buf.data() + 22), name_len);
    h.crc = Get16(buf.data() + 22 + name_len);
    size_t rest = 24 + name_len;
    Extensions ext;
    if (h.level == 0) {
        // Optional Unix extension: 'U', a version byte, mtime, mode, uid, gid.
        if (base - rest >= 12 && buf[rest] == 'U') {
            h.os_id = 'U';
            h.mtime = Get32(buf.data() + rest + 2);
            h.unix_mode = Get16(buf.data() + rest + 6);
            h.uid = Get16(buf.data() + rest + 8);
            h.gid = Get16(buf.data() + rest + 10);
        } else if (base > rest) {
            h.os_id = buf[rest];
        }
        h.header_size = static_cast<uint32_t>(base);
    } else {
        if (base - rest < 3) return Bad("level 1 header too short");
        h.os_id = buf[rest];
        uint16_t next = Get16(buf.data() + base - 2);
        // The extended headers follow the base header and count towards the "packed" size.
        std::vector<uint8_t> all(buf);
        size_t total = base;
        while (next != 0) {
            if (next < 3) return Bad("extended header too short");
            if (total + next > h.packed_size + base) return Bad("extended headers larger than the member");
            all.resize(total + next);
            if (Status s = ReadExact(source, all.data() + total, next, "read header"); !s)
                return Bad("truncated");
            total += next;
            next = Get16(all.data() + total - 2);
        }
        auto used = ReadExtensions(all.data(), base, total, Get16(buf.data() + base - 2), h, ext);
        if (!used) return used.status();
        // The base header has its own checksum, but the folder and name extensions are covered only by this
        // CRC, taken over the base header and every extended header.
        if (ext.header_crc) {
            all[ext.header_crc_at] = all[ext.header_crc_at + 1] = 0;
            if (Crc16Update(0, all.data(), total) != *ext.header_crc) return Bad("header CRC mismatch");
        }
        h.packed_size -= (total - base);
        h.header_size = static_cast<uint32_t>(total);
    }
    h.path = JoinPath(ext.dir, SeparatorsToSlash(ext.name ? *ext.name : name, true));
    return std::optional<MemberHeader>(std::move(h));
}

Result<std::optional<MemberHeader>> ReadLevel2(ByteSource& source, const uint8_t* first, uint64_t offset) {
    MemberHeader h;
    h.offset = offset;
    h.level = 2;
    size_t total = Get16(first);
    if (total < 26) return Bad("too short");
    std::vector<uint8_t> buf(total);
    std::copy(first, first + 22, buf.begin());
    if (Status s = ReadExact(source, buf.data() + 22, total - 22, "read header"); !s) return Bad("truncated");
    h.method_id.assign(reinterpret_cast<const char*>(buf.data() + 2), 5);
    h.packed_size = Get32(buf.data() + 7);
    h.original_size = Get32(buf.data() + 11);
    h.mtime = Get32(buf.data() + 15);
    h.crc = Get16(buf.data() + 21);
    h.os_id = buf[23];
    Extensions ext;
    auto used = ReadExtensions(buf.data(), 26, total, Get16(buf.data() + 24), h, ext);
    if (!used) return used.status();
    // One byte of padding after the extended headers is allowed (some writers add it).
    if (26 + *used + 1 < total) return Bad("size does not match the extended headers");
    if (ext.header_crc) {
        buf[ext.header_crc_at] = buf[ext.header_crc_at + 1] = 0;
        if (Crc16Update(0, buf.data(), buf.size()) != *ext.header_crc) return Bad("header CRC mismatch");
    }
    h.header_size = static_cast<uint32_t>(total);
    h.path = JoinPath(ext.dir, ext.name.value_or(""));
    return std::optional<MemberHeader>(std::move(h));
}

}  // namespace

Result<std::optional<MemberHeader>> ReadHeader(ByteSource& source) {
    uint64_t offset = source.Tell();
    uint8_t first[22];
    auto got = source.Read(first, 1);
    if (!got) return got.status();
    if (*got == 0 || first[0] == 0) return std::optional<MemberHeader>();
    if (Status s = ReadExact(source, first + 1, 21, "read header"); !s) return Bad("truncated");
    if (first[2] != '-' || first[6] != '-') return Bad("no method id");
    switch (first[20]) {
        case 0:
        case 1:
            return ReadLevel01(source, first, offset);
        case 2:
            return ReadLevel2(source, first, offset);
        default:
            return Bad("unsupported header level " + std::to_string(first[20]));
    }
}

Result<std::vector<uint8_t>> EncodeLevel2Header(const MemberHeader& h) {
    std::string dir, name = h.path;
    if (size_t slash = h.path.rfind('/'); slash != std::string::npos) {
        dir = h.path.substr(0, slash + 1);
        name = h.path.substr(slash + 1);
    }
    for (char& c : dir)
        if (c == '/') c = static_cast<char>(0xFF);

    struct Ext {
        uint8_t type;
        std::vector<uint8_t> data;
    };
    auto build = [&](bool with_owner) {
        std::vector<Ext> exts;
        exts.push_back({0x00, {0, 0}});
        exts.push_back({0x01, {name.begin(), name.end()}});
        if (!dir.empty()) exts.push_back({0x02, {dir.begin(), dir.end()}});
        uint16_t mode = h.unix_mode.value_or(0100644);
        exts.push_back({0x50, {static_cast<uint8_t>(mode), static_cast<uint8_t>(mode >> 8)}});
        if (with_owner) {
            uint16_t gid = h.gid.value_or(0), uid = h.uid.value_or(0);
            exts.push_back({0x51,
                            {static_cast<uint8_t>(gid), static_cast<uint8_t>(gid >> 8),
                             static_cast<uint8_t>(uid), static_cast<uint8_t>(uid >> 8)}});
        }
        return exts;
    };
    bool with_owner = h.uid.has_value() || h.gid.has_value();
    std::vector<Ext> exts = build(with_owner);
    auto total_of = [](const std::vector<Ext>& e) {
        size_t total = 26;
        for (const Ext& x : e)
            total += 3 + x.data.size();
        return total;
    };
    // A zero low byte would read as the end-of-archive mark unless padded; toggling the 7-byte owner field
    // moves the size off it.
    if ((total_of(exts) & 0xFF) == 0) exts = build(!with_owner);
    size_t total = total_of(exts);
    for (const Ext& x : exts)
        if (3 + x.data.size() > 0xFFFF) return Status::Error(ENAMETOOLONG, h.path, "encode header");
    if (total > 0xFFFF) return Status::Error(ENAMETOOLONG, h.path, "encode header");

    std::vector<uint8_t> out(total, 0);
    Put16(out.data(), static_cast<uint32_t>(total));
    std::copy(h.method_id.begin(), h.method_id.begin() + 5, out.begin() + 2);
    // The field is unsigned 32-bit: times before 1970 or after 2106 are kept at the nearest end.
    Put32(out.data() + 15, static_cast<uint32_t>(std::clamp<int64_t>(h.mtime, 0, 0xFFFFFFFF)));
    out[19] = 0x20;
    out[20] = 2;
    out[23] = 'U';
    size_t at = 24;
    for (const Ext& x : exts) {
        Put16(out.data() + at, static_cast<uint32_t>(3 + x.data.size()));
        out[at + 2] = x.type;
        std::copy(x.data.begin(), x.data.end(), out.begin() + at + 3);
        at += 3 + x.data.size();
    }
    // The last "next size" stays 0.
    PatchLevel2Header(out, h.packed_size, h.original_size, h.crc);
    return out;
}

void PatchLevel2Header(std::vector<uint8_t>& header, uint64_t packed_size, uint64_t original_size,
                       uint16_t crc) {
    Put32(header.data() + 7, static_cast<uint32_t>(packed_size));
    Put32(header.data() + 11, static_cast<uint32_t>(original_size));
    Put16(header.data() + 21, crc);
    // The header CRC extension is always the first one, at offset 27.
    Put16(header.data() + 27, 0);
    Put16(header.data() + 27, Crc16Update(0, header.data(), header.size()));
}

}  // namespace vask::lha
