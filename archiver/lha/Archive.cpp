#include "archiver/lha/Archive.h"

#include <algorithm>
#include <cerrno>

namespace vask::lha {

Result<std::vector<MemberHeader>> ReadDirectory(ByteSource& source) {
    std::vector<MemberHeader> members;
    if (Status s = source.Seek(0); !s) return s;
    for (;;) {
        auto h = ReadHeader(source);
        if (!h) return h.status();
        if (!h->has_value()) break;
        MemberHeader& m = **h;
        // Skip the data; a member that claims more data than the archive holds shows up as a short read.
        uint64_t next = m.data_offset() + m.packed_size;
        if (next < m.data_offset()) return Status::Error(EPROTO, "", "read archive (member size overflows)");
        if (Status s = source.Seek(next); !s) return s;
        members.push_back(std::move(m));
    }
    // Check the last member's data is all there: a seek beyond the end does not fail by itself.
    if (!members.empty()) {
        const MemberHeader& last = members.back();
        if (last.packed_size > 0) {
            uint8_t byte;
            if (Status s = source.Seek(last.data_offset() + last.packed_size - 1); !s) return s;
            if (Status s = ReadExact(source, &byte, 1, "read archive"); !s)
                return Status::Error(EPROTO, last.path, "read archive (member data ends early)");
        }
    }
    return members;
}

Status ExtractMember(ByteSource& archive, const MemberHeader& member, ByteSink& sink) {
    auto method = ParseMethodId(member.method_id);
    if (!method) return Status::Error(EPROTO, member.path, "unsupported method " + member.method_id);
    if (*method == Method::kStored && member.packed_size != member.original_size)
        return Status::Error(EPROTO, member.path, "stored member with two sizes");
    if (Status s = archive.Seek(member.data_offset()); !s) return s;
    LimitedSource packed(archive, member.packed_size);
    auto crc = Decode(*method, packed, member.original_size, sink);
    if (!crc) return Status::Error(crc.status().code(), member.path, crc.status().operation());
    if (*crc != member.crc) return Status::Error(EPROTO, member.path, "CRC mismatch");
    return Status::Ok();
}

Result<std::vector<MemberHeader>> VerifyArchive(ByteSource& source) {
    auto members = ReadDirectory(source);
    if (!members) return members;
    for (const MemberHeader& m : *members) {
        NullSink sink;
        if (Status s = ExtractMember(source, m, sink); !s) return s;
    }
    return members;
}

Result<MemberHeader> AppendMember(ByteSink& sink, MemberHeader h, Method method, ByteSource& source,
                                  uint64_t expected_size) {
    constexpr uint64_t kMaxSize = 0xFFFFFFFFu;
    if (expected_size > kMaxSize) return Status::Error(EFBIG, h.path, "add");
    h.method_id = MethodId(method);
    h.level = 2;
    auto header = EncodeLevel2Header(h);
    if (!header) return header.status();
    const uint64_t header_at = sink.Size();
    if (Status s = sink.Write(header->data(), header->size()); !s) return s;
    const uint64_t data_at = sink.Size();

    EncodeResult result;
    bool stored = method == Method::kStored || expected_size == 0;
    if (!stored) {
        auto r = Encode(method, source, sink,
                        {.stop_after = std::max<uint64_t>(expected_size, 1), .size_hint = expected_size});
        if (!r) return r.status();
        result = *r;
        stored = !r->shrunk || r->packed_size >= r->original_size;
    }
    if (stored) {
        if (Status s = sink.Truncate(data_at); !s) return s;
        if (Status s = source.Seek(0); !s) return s;
        auto r = Store(source, sink);
        if (!r) return r.status();
        if (result.complete && result.original_size &&
            (r->original_size != result.original_size || r->crc != result.crc))
            return Status::Changed(h.path, "add (file changed while it was read)");
        result = *r;
        h.method_id = MethodId(Method::kStored);
    }
    if (result.original_size > kMaxSize) return Status::Error(EFBIG, h.path, "add");
    h.packed_size = result.packed_size;
    h.original_size = result.original_size;
    h.crc = result.crc;
    header = EncodeLevel2Header(h);
    if (!header) return header.status();
    if (Status s = sink.WriteAt(header_at, header->data(), header->size()); !s) return s;
    h.offset = header_at;
    h.header_size = static_cast<uint32_t>(header->size());
    return h;
}

Status CopyRange(ByteSource& source, uint64_t offset, uint64_t length, ByteSink& sink) {
    if (Status s = source.Seek(offset); !s) return s;
    std::vector<uint8_t> buffer(1 << 16);
    while (length > 0) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(length, buffer.size()));
        if (Status s = ReadExact(source, buffer.data(), want, "copy member"); !s) return s;
        if (Status s = sink.Write(buffer.data(), want); !s) return s;
        length -= want;
    }
    return Status::Ok();
}

Status AppendEndMark(ByteSink& sink) {
    const uint8_t zero = 0;
    return sink.Write(&zero, 1);
}

}  // namespace vask::lha
