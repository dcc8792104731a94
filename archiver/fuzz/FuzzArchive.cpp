// libFuzzer entry for the header parser and the decoder. The first byte picks the mode:
//  even: the rest is an archive; every member is listed and decoded (members over 1 MiB are skipped so that a
//        forged size cannot turn a run into a time-out);
//  odd:  bits 1-2 pick -lh5-/-lh6-/-lh7-/-lh4-, the next 3 bytes are the original size, the rest is packed
//  data.
#include <cstddef>
#include <cstdint>

#include "archiver/lha/Archive.h"

using namespace vask::lha;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if ((data[0] & 1) == 0) {
        MemorySource source(data + 1, size - 1);
        auto members = ReadDirectory(source);
        if (!members) return 0;
        for (const MemberHeader& m : *members) {
            if (m.original_size > (1u << 20)) continue;
            NullSink sink;
            (void)ExtractMember(source, m, sink);
        }
        return 0;
    }
    if (size < 4) return 0;
    static const Method kMethods[] = {Method::kLh5, Method::kLh6, Method::kLh7, Method::kLh4};
    Method m = kMethods[(data[0] >> 1) & 3];
    uint64_t original = data[1] | data[2] << 8 | (data[3] & 0x0F) << 16;
    MemorySource packed(data + 4, size - 4);
    NullSink sink;
    auto crc = Decode(m, packed, original, sink);
    // A decode that succeeds must have produced exactly the promised bytes.
    if (crc && sink.Size() != original) __builtin_trap();
    return 0;
}
