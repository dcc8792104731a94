#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "archiver/lha/Codec.h"
#include "archiver/lha/Crc16.h"
#include "archiver/lha/Huffman.h"

namespace vask::lha {
namespace {

using test::Bytes;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed, int alphabet = 256) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng() % alphabet);
    return v;
}

// Text-like data with long-range repeats, longer than the largest dictionary.
std::vector<uint8_t> TextLike(size_t n, uint32_t seed) {
    static const char* words[] = {"the ", "archive ", "member ",      "header ", "of ", "file ",
                                  "\n",   "data ",    "compression ", "and ",    "a ",  "with "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n)
        s += words[rng() % 12];
    s.resize(n);
    return Bytes(s);
}

std::vector<uint8_t> Compress(Method m, const std::vector<uint8_t>& data, EncodeResult* info = nullptr) {
    MemorySource src(data);
    MemorySink sink;
    auto r = Encode(m, src, sink);
    EXPECT_TRUE(r.ok()) << r.status().ToString();
    if (info && r) *info = *r;
    return sink.bytes();
}

Result<std::vector<uint8_t>> Expand(Method m, const std::vector<uint8_t>& packed, uint64_t size) {
    MemorySource src(packed);
    MemorySink sink;
    auto r = Decode(m, src, size, sink);
    if (!r) return r.status();
    return sink.bytes();
}

TEST(Crc16Test, KnownCheckValue) {
    auto data = Bytes("123456789");
    EXPECT_EQ(Crc16Update(0, data.data(), data.size()), 0xBB3D);
}

TEST(HuffmanTest, LengthsAreCompleteAndLimitedEvenForSkewedFrequencies) {
    // Fibonacci frequencies force a plain Huffman tree far deeper than 16 levels.
    std::vector<uint32_t> freq(40);
    uint32_t a = 1, b = 1;
    for (auto& f : freq) {
        f = a;
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    auto len = BuildCodeLengths(freq);
    double kraft = 0;
    for (auto l : len) {
        ASSERT_GE(l, 1);
        ASSERT_LE(l, kMaxCodeBits);
        kraft += 1.0 / (1u << l);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    // Fewer than two used symbols: no code at all (the single-symbol form is used instead).
    EXPECT_EQ(BuildCodeLengths({0, 5, 0}), (std::vector<uint8_t>{0, 0, 0}));
}

class RoundTripTest : public ::testing::TestWithParam<Method> {};

TEST_P(RoundTripTest, DataSurvivesCompressionAndCrcMatches) {
    const Method m = GetParam();
    std::vector<std::vector<uint8_t>> inputs = {
        Bytes("a"),
        Bytes("abc"),
        std::vector<uint8_t>(100000, 'x'),  // one symbol per block kind: single-code tables
        RandomBytes(5000, 1, 2),            // two-symbol alphabet
        RandomBytes(70000, 2),              // incompressible
        TextLike(300000, 3),                // several blocks, window slides
        TextLike(1 << 17, 4),               // exactly twice the -lh7- dictionary
    };
    for (const auto& data : inputs) {
        EncodeResult info;
        auto packed = Compress(m, data, &info);
        EXPECT_EQ(info.original_size, data.size());
        EXPECT_EQ(info.packed_size, packed.size());
        EXPECT_EQ(info.crc, Crc16Update(0, data.data(), data.size()));
        auto back = Expand(m, packed, data.size());
        ASSERT_TRUE(back.ok()) << back.status().ToString() << " size " << data.size();
        EXPECT_TRUE(*back == data) << "size " << data.size();
    }
}

TEST_P(RoundTripTest, RepetitiveDataShrinks) {
    auto data = TextLike(200000, 9);
    auto packed = Compress(GetParam(), data);
    EXPECT_LT(packed.size(), data.size() / 3);
}

TEST_P(RoundTripTest, StopAfterGivesUpOnIncompressibleData) {
    auto data = RandomBytes(300000, 5);
    MemorySource src(data);
    MemorySink sink;
    auto r = Encode(GetParam(), src, sink, {.stop_after = data.size()});
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r->shrunk);
}

// The size hint only sets up buffers: a wrong one (the file grew or shrank while read) still round-trips,
// and a right one packs as well as no hint at all.
TEST_P(RoundTripTest, AnySizeHintRoundTrips) {
    const Method m = GetParam();
    struct Case {
        size_t size;
        uint64_t hint;
    };
    for (Case c : {Case{100, 100}, Case{100, 1}, Case{5000, 5000}, Case{5000, 300}, Case{70000, 1000},
                   Case{300000, 2000}, Case{300000, 300000}, Case{2000, 1000000}}) {
        auto data = TextLike(c.size, static_cast<uint32_t>(c.size + c.hint));
        MemorySource src(data);
        MemorySink sink;
        auto r = Encode(m, src, sink, {.size_hint = c.hint});
        ASSERT_TRUE(r.ok()) << r.status().ToString();
        EXPECT_EQ(r->original_size, data.size());
        auto back = Expand(m, sink.bytes(), data.size());
        ASSERT_TRUE(back.ok()) << back.status().ToString() << " size " << c.size << " hint " << c.hint;
        EXPECT_TRUE(*back == data) << "size " << c.size << " hint " << c.hint;
        if (c.hint == c.size) {
            EXPECT_LE(sink.bytes().size(), Compress(m, data).size() * 101 / 100);
        }
    }
}

TEST_P(RoundTripTest, DamagedDataIsAnErrorNeverACrash) {
    const Method m = GetParam();
    auto data = TextLike(40000, 6);
    auto packed = Compress(m, data);
    std::mt19937 rng(7);
    int errors = 0;
    for (int round = 0; round < 300; ++round) {
        auto bad = packed;
        for (int k = 0; k < 3; ++k)
            bad[rng() % bad.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        if (round % 3 == 0) bad.resize(rng() % bad.size());
        auto r = Expand(m, bad, data.size());
        if (!r) {
            ++errors;
            EXPECT_EQ(r.status().code(), EPROTO);
        } else {
            EXPECT_EQ(r->size(), data.size());
        }
    }
    EXPECT_GT(errors, 0);
    // Data that ends early is always noticed.
    auto cut = packed;
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(Expand(m, cut, data.size()).ok());
}

INSTANTIATE_TEST_SUITE_P(Methods, RoundTripTest, ::testing::Values(Method::kLh5, Method::kLh6, Method::kLh7),
                         [](const auto& info) { return MethodId(info.param).substr(1, 3); });

TEST(StoredTest, StoreAndDecodeCopyBytes) {
    auto data = RandomBytes(1000, 8);
    MemorySource src(data);
    MemorySink sink;
    auto r = Store(src, sink);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(sink.bytes(), data);
    auto back = Expand(Method::kStored, sink.bytes(), data.size());
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, data);
    EXPECT_FALSE(Expand(Method::kStored, sink.bytes(), data.size() + 1).ok());
}

}  // namespace
}  // namespace vask::lha
