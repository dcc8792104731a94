// LZH member headers: reading levels 0, 1 and 2, writing level 2.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archiver/lha/Stream.h"

namespace vask::lha {

struct MemberHeader {
    std::string method_id;  // the 5 bytes as stored, e.g. "-lh7-"
    uint64_t packed_size = 0;
    uint64_t original_size = 0;
    int64_t mtime = 0;  // seconds since the epoch (UTC)
    uint16_t crc = 0;   // CRC-16 of the original data
    int level = 2;
    uint8_t os_id = 'U';
    // The stored path with "/" separators, exactly as named in the archive (no check for "..", leading "/").
    std::string path;
    std::optional<uint16_t> unix_mode;
    std::optional<uint16_t> uid, gid;

    // Where the header starts in the archive and how long it is; the data follows directly.
    uint64_t offset = 0;
    uint32_t header_size = 0;
    uint64_t data_offset() const { return offset + header_size; }
};

// Reads the header at the source's position. Returns nothing at the end of the archive (a 0 byte or no more
// data); EPROTO for a damaged or unsupported header (bad checksum or CRC, sizes that do not add up, level 3).
// On success the source stands at the member's data.
Result<std::optional<MemberHeader>> ReadHeader(ByteSource& source);

// The level-2 header bytes for h (method, sizes, time, CRC, path, mode; header CRC included). Never a header
// whose size has a zero low byte, which would need a padding byte some readers reject. ENAMETOOLONG when the
// path does not fit in a header.
Result<std::vector<uint8_t>> EncodeLevel2Header(const MemberHeader& h);

// Rewrites the size, time and CRC fields of a header produced by EncodeLevel2Header, and its header CRC.
void PatchLevel2Header(std::vector<uint8_t>& header, uint64_t packed_size, uint64_t original_size,
                       uint16_t crc);

}  // namespace vask::lha
