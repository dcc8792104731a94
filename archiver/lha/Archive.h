// Whole-archive steps on streams: listing, checking and extracting members, appending new ones.
#pragma once

#include <cstdint>
#include <vector>

#include "archiver/lha/Codec.h"
#include "archiver/lha/Header.h"
#include "archiver/lha/Method.h"
#include "archiver/lha/Stream.h"

namespace vask::lha {

// Every member header from the start of source up to the end mark. EPROTO when a header is damaged or a
// member's data would run past the end of the archive.
Result<std::vector<MemberHeader>> ReadDirectory(ByteSource& source);

// Decodes one member to sink and checks its CRC (EPROTO on mismatch or unknown method).
Status ExtractMember(ByteSource& archive, const MemberHeader& member, ByteSink& sink);

// Reads every member and checks every CRC; returns the headers.
Result<std::vector<MemberHeader>> VerifyArchive(ByteSource& source);

// Appends one member: a level-2 header for h (path, mtime, unix_mode, uid, gid taken from it) and the data of
// source compressed with method, or stored when the data is empty or does not shrink. expected_size is what
// the caller believes the size is (used to give up early on incompressible data); a source that yields more
// than 4 GiB - 1 bytes is refused with EFBIG. Returns the header as written.
Result<MemberHeader> AppendMember(ByteSink& sink, MemberHeader h, Method method, ByteSource& source,
                                  uint64_t expected_size);

// Copies length bytes starting at offset of source to sink (a member taken over unchanged).
Status CopyRange(ByteSource& source, uint64_t offset, uint64_t length, ByteSink& sink);

// The end-of-archive mark.
Status AppendEndMark(ByteSink& sink);

}  // namespace vask::lha
