#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>

#include "TestUtil.h"
#include "archiver/lha/Archive.h"
#include "archiver/lha/Crc16.h"

namespace vask::lha {
namespace {

using test::Bytes;

MemberHeader Sample(const std::string& path) {
    MemberHeader h;
    h.method_id = "-lh7-";
    h.path = path;
    h.mtime = 1141208430;
    h.unix_mode = 0100750;
    h.uid = 1000;
    h.gid = 100;
    h.packed_size = 12;
    h.original_size = 34;
    h.crc = 0xBEEF;
    return h;
}

Result<std::optional<MemberHeader>> ReadBack(const std::vector<uint8_t>& bytes) {
    MemorySource src(bytes);
    return ReadHeader(src);
}

TEST(HeaderTest, Level2FieldsSurviveWritingAndReading) {
    auto bytes = EncodeLevel2Header(Sample("home/user/a b/\xE6\x97\xA5.txt"));
    ASSERT_TRUE(bytes.ok());
    auto h = ReadBack(*bytes);
    ASSERT_TRUE(h.ok()) << h.status().ToString();
    ASSERT_TRUE(h->has_value());
    const MemberHeader& m = **h;
    EXPECT_EQ(m.level, 2);
    EXPECT_EQ(m.method_id, "-lh7-");
    EXPECT_EQ(m.path, "home/user/a b/\xE6\x97\xA5.txt");
    EXPECT_EQ(m.mtime, 1141208430);
    EXPECT_EQ(m.unix_mode, 0100750);
    EXPECT_EQ(m.uid, 1000);
    EXPECT_EQ(m.packed_size, 12u);
    EXPECT_EQ(m.original_size, 34u);
    EXPECT_EQ(m.crc, 0xBEEF);
    EXPECT_EQ(m.header_size, bytes->size());
    // Folders are separated by 0xFF in the directory field, never by "/".
    std::string raw(bytes->begin(), bytes->end());
    EXPECT_NE(raw.find("home\xFFuser\xFF"
                       "a b\xFF"),
              std::string::npos);
}

TEST(HeaderTest, NoHeaderSizeHasAZeroLowByte) {
    int near_miss = 0;
    for (size_t len = 1; len < 700; ++len) {
        std::string path = "d/" + std::string(len, 'n');
        for (bool owner : {false, true}) {
            MemberHeader h = Sample(path);
            if (!owner) h.uid.reset(), h.gid.reset();
            auto bytes = EncodeLevel2Header(h);
            ASSERT_TRUE(bytes.ok());
            ASSERT_NE(bytes->size() & 0xFF, 0u) << "length " << len;
            near_miss += (bytes->size() & 0xFF) == 7 || (bytes->size() & 0xFF) == 249;
            auto back = ReadBack(*bytes);
            ASSERT_TRUE(back.ok() && back->has_value());
            EXPECT_EQ((*back)->path, path);
        }
    }
    EXPECT_GT(near_miss, 0);  // the sizes that would have hit 256 were moved, not avoided by luck
}

TEST(HeaderTest, TimesOutsideTheFieldAreClamped) {
    for (auto [mtime, stored] : {std::pair<int64_t, int64_t>{-5, 0}, {int64_t{1} << 33, 0xFFFFFFFF}}) {
        MemberHeader h = Sample("t");
        h.mtime = mtime;
        auto back = ReadBack(EncodeLevel2Header(h).value());
        ASSERT_TRUE(back.ok() && back->has_value());
        EXPECT_EQ((*back)->mtime, stored);
    }
}

TEST(HeaderTest, DamagedHeadersAreErrors) {
    auto good = EncodeLevel2Header(Sample("a/b.txt")).value();
    auto bad_crc = good;
    bad_crc[40] ^= 1;
    EXPECT_EQ(ReadBack(bad_crc).status().code(), EPROTO);
    auto cut = good;
    cut.resize(30);
    EXPECT_EQ(ReadBack(cut).status().code(), EPROTO);
    auto level3 = good;
    level3[20] = 3;
    EXPECT_EQ(ReadBack(level3).status().code(), EPROTO);
    // A level 0/1 header whose size byte is smaller than the fixed fields (found by fuzzing).
    std::vector<uint8_t> tiny(good.begin(), good.begin() + 22);
    tiny[0] = 0x10;
    tiny[20] = 1;
    EXPECT_EQ(ReadBack(tiny).status().code(), EPROTO);
    // A lone 0 byte and an empty stream both mean "no more members".
    auto end = ReadBack({0});
    ASSERT_TRUE(end.ok());
    EXPECT_FALSE(end->has_value());
    EXPECT_FALSE(ReadBack({})->has_value());
}

// A two-member archive in memory.
std::vector<uint8_t> SmallArchive() {
    MemorySink sink;
    std::string text = test::TextOf(30000, 1);
    for (const char* name : {"x/one.txt", "two.txt"}) {
        auto data = Bytes(text);
        MemorySource src(data);
        MemberHeader h;
        h.path = name;
        EXPECT_TRUE(AppendMember(sink, h, Method::kLh5, src, data.size()).ok());
    }
    EXPECT_TRUE(AppendEndMark(sink).ok());
    return sink.bytes();
}

TEST(ArchiveTest, MembersAreStoredWhenCompressionDoesNotHelp) {
    std::mt19937 rng(3);
    std::vector<uint8_t> noise(5000);
    for (auto& b : noise)
        b = static_cast<uint8_t>(rng());
    for (auto [data, method] : {std::pair{noise, "-lh0-"}, std::pair{std::vector<uint8_t>{}, "-lh0-"},
                                std::pair{Bytes(test::TextOf(5000, 2)), "-lh7-"}}) {
        MemorySink sink;
        MemorySource src(data);
        MemberHeader h;
        h.path = "f";
        auto m = AppendMember(sink, h, Method::kLh7, src, data.size());
        ASSERT_TRUE(m.ok()) << m.status().ToString();
        EXPECT_EQ(m->method_id, method);
        MemorySource archive(sink.bytes());
        MemorySink out;
        ASSERT_TRUE(ExtractMember(archive, *m, out).ok());
        EXPECT_EQ(out.bytes(), data);
    }
}

TEST(ArchiveTest, DamagedArchivesGiveErrorsNotCrashes) {
    auto good = SmallArchive();
    {
        MemorySource src(good);
        auto members = VerifyArchive(src);
        ASSERT_TRUE(members.ok());
        EXPECT_EQ(members->size(), 2u);
    }
    std::mt19937 rng(11);
    int failures = 0;
    for (int round = 0; round < 400; ++round) {
        auto bad = good;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < flips; ++k)
            bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        if (round % 4 == 0) bad.resize(rng() % bad.size());
        MemorySource src(bad);
        auto r = VerifyArchive(src);
        failures += !r.ok();
    }
    EXPECT_GT(failures, 300);
    // A member that claims more data than the archive holds.
    auto cut = good;
    cut.resize(good.size() / 2);
    MemorySource src(cut);
    EXPECT_EQ(ReadDirectory(src).status().code(), EPROTO);
}

TEST(FixtureTest, ArchivesOfAnotherToolDecodeAtEveryLevelAndMethod) {
    // Level 0 and 1 keep local time; the fixtures were made in UTC.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::string dir = VASK_LHA_FIXTURES;
    const std::string sample = test::ReadFile(dir + "/original/docs/sample.txt");
    const std::string tiny = test::ReadFile(dir + "/original/tiny.bin");
    ASSERT_EQ(sample.size(), 24000u);
    int64_t level2_time = 0;
    for (int level : {2, 1, 0}) {
        for (int method : {5, 6, 7}) {
            std::string name = "jlha-lh" + std::to_string(method) + "-level" + std::to_string(level) + ".lzh";
            auto bytes = Bytes(test::ReadFile(dir + "/" + name));
            ASSERT_FALSE(bytes.empty()) << name;
            MemorySource src(bytes);
            auto members = VerifyArchive(src);
            ASSERT_TRUE(members.ok()) << name << ": " << members.status().ToString();
            ASSERT_EQ(members->size(), 2u) << name;
            const MemberHeader& m = (*members)[0];
            EXPECT_EQ(m.level, level) << name;
            EXPECT_EQ(m.method_id, "-lh" + std::to_string(method) + "-") << name;
            EXPECT_EQ(m.path, "docs/sample.txt") << name;
            EXPECT_EQ((*members)[1].path, "tiny.bin") << name;
            if (level == 2) level2_time = m.mtime;
            EXPECT_NEAR(static_cast<double>(m.mtime), static_cast<double>(level2_time), 2.0) << name;
            MemorySink out;
            ASSERT_TRUE(ExtractMember(src, m, out).ok()) << name;
            EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), sample) << name;
            MemorySink out2;
            ASSERT_TRUE(ExtractMember(src, (*members)[1], out2).ok()) << name;
            EXPECT_EQ(std::string(out2.bytes().begin(), out2.bytes().end()), tiny) << name;
        }
    }
}

// A level 1 header keeps its folder in an extended header that only the header CRC covers: a damaged folder
// name (or CRC) must be refused rather than put the member somewhere else.
TEST(FixtureTest, DamagedLevel1ExtendedHeadersAreRefused) {
    const std::string dir = VASK_LHA_FIXTURES;
    for (int method : {5, 6, 7}) {
        std::string name = "jlha-lh" + std::to_string(method) + "-level1.lzh";
        std::string good = test::ReadFile(dir + "/" + name);
        size_t folder = good.find("docs");
        ASSERT_NE(folder, std::string::npos) << name;
        size_t crc = good.rfind(std::string("\x05\x00\x00", 3), folder);  // size 5, type 0: the header CRC
        ASSERT_NE(crc, std::string::npos) << name;
        for (size_t at : {folder, folder + 3, crc + 3}) {
            std::string bad = good;
            bad[at] ^= 0x20;
            auto bytes = Bytes(bad);
            MemorySource src(bytes);
            EXPECT_EQ(ReadDirectory(src).status().code(), EPROTO) << name << " byte " << at;
        }
    }
}

}  // namespace
}  // namespace vask::lha
