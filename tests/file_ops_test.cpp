// The default file operations on real files, and the bounded memory copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bxf.h"
#include "internal.h"

namespace {

std::vector<uint16_t> utf16(const std::string &s) {
    std::vector<uint16_t> out(s.begin(), s.end());
    out.push_back(0);
    return out;
}

// A file of its own per test, bytes 0 to 9 unless the test writes others.
class DefaultFileOps : public ::testing::Test {
protected:
    void SetUp() override {
        bxf_fill_file_ops(&ops);
        name = std::string("bxf_file_ops_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        write({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    }
    void TearDown() override { std::remove(name.c_str()); }
    void write(const std::vector<uint8_t> &bytes) {
        FILE *f = std::fopen(name.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    MediaFile *open(uint32_t mode, uint32_t code = BXF_RET_OK) {
        MediaFile *file = nullptr;
        EXPECT_EQ(bxf_file_open(utf16(name).data(), mode, &file), code);
        return file;
    }
    uint64_t size(MediaFile *file) {
        uint64_t size = 99;
        EXPECT_EQ(ops.size(file, &size), BXF_RET_OK);
        return size;
    }

    FileOps ops;
    std::string name;
};

TEST_F(DefaultFileOps, OpenChecksItsArguments) {
    MediaFile *const sentinel = reinterpret_cast<MediaFile *>(0x1234);
    MediaFile *file = sentinel;
    for (uint32_t mode : {0u, 3u}) EXPECT_EQ(bxf_file_open(utf16(name).data(), mode, &file), BXF_RET_ARGS);
    EXPECT_EQ(bxf_file_open(nullptr, 1, &file), BXF_RET_ARGS);
    EXPECT_EQ(bxf_file_open(utf16(name).data(), 1, nullptr), BXF_RET_ARGS);
    EXPECT_EQ(bxf_file_open(utf16("no_such_dir/no_such_file").data(), 1, &file), BXF_RET_FILE);
    EXPECT_EQ(file, sentinel) << "a failed open leaves the out pointer alone";
    EXPECT_EQ(bxf_file_close(nullptr), BXF_RET_ARGS);
    EXPECT_EQ(bxf_fill_file_ops(nullptr), BXF_RET_ARGS);
}

TEST_F(DefaultFileOps, SeekTellSizeAndRead) {
    MediaFile *file = open(BXF_FILE_MODE_READ);
    ASSERT_NE(file, nullptr);
    uint64_t pos = 0, got = 0;
    EXPECT_EQ(ops.seek(file, 0, 3), BXF_RET_ARGS);
    EXPECT_EQ(ops.seek(file, 3, BXF_SEEK_SET), BXF_RET_OK);
    EXPECT_EQ(size(file), 10u);
    EXPECT_EQ(ops.tell(file, &pos), BXF_RET_OK);
    EXPECT_EQ(pos, 3u) << "size leaves the position where it was";
    EXPECT_EQ(ops.seek(file, 0, BXF_SEEK_END), BXF_RET_OK);
    EXPECT_EQ(ops.tell(file, &pos), BXF_RET_OK);
    EXPECT_EQ(pos, 10u);
    EXPECT_EQ(ops.seek(file, -4, BXF_SEEK_CUR), BXF_RET_OK);
    EXPECT_EQ(ops.seek(file, -100, BXF_SEEK_CUR), BXF_RET_FILE);
    uint8_t buf[16] = {0};
    EXPECT_EQ(ops.read(file, buf, sizeof buf, &got), BXF_RET_OK);
    EXPECT_EQ(got, 4u) << "a read at the end comes back short";
    EXPECT_EQ(buf[0], 6);
    EXPECT_EQ(ops.read(nullptr, buf, 1, &got), BXF_RET_ARGS);
    EXPECT_EQ(ops.read(file, buf, 1, nullptr), BXF_RET_ARGS);
    EXPECT_EQ(bxf_file_close(file), BXF_RET_OK);
}

TEST_F(DefaultFileOps, ReadersShareAndKeepWritersOut) {
    MediaFile *reader = open(BXF_FILE_MODE_READ);
    ASSERT_NE(reader, nullptr);
    open(BXF_FILE_MODE_WRITE, BXF_RET_FILE);
    MediaFile *second_reader = open(BXF_FILE_MODE_READ);
    EXPECT_NE(second_reader, nullptr) << "readers share";
    bxf_file_close(second_reader);
    EXPECT_EQ(size(reader), 10u) << "the refused writer did not truncate";
    bxf_file_close(reader);

    MediaFile *writer = open(BXF_FILE_MODE_WRITE);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(size(writer), 0u) << "opening to write truncates";
    uint64_t written = 0;
    EXPECT_EQ(ops.write(writer, "abc", 3, &written), BXF_RET_OK);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(size(writer), 3u);
    bxf_file_close(writer);
}

// Reads are served from a read-ahead buffer: whatever the pattern of seeks and
// reads, the bytes and the positions must be the file's.
TEST_F(DefaultFileOps, BufferedReadsAgreeWithTheFile) {
    std::vector<uint8_t> content(300000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = uint8_t(i * 7 + i / 251);
    write(content);
    MediaFile *file = open(BXF_FILE_MODE_READ);
    ASSERT_NE(file, nullptr);
    struct Step {
        int64_t offset;
        uint32_t origin;
        uint64_t count;
    } steps[] = {
        {0, BXF_SEEK_SET, 8},          {8, BXF_SEEK_SET, 100},       {0, BXF_SEEK_CUR, 65536},  // across the buffer's end
        {-10, BXF_SEEK_CUR, 20},       {200000, BXF_SEEK_SET, 16},   {100, BXF_SEEK_SET, 4},    // back before the buffer
        {70000, BXF_SEEK_SET, 200000}, {-5, BXF_SEEK_END, 100},      {0, BXF_SEEK_END, 10},     // short at the end
        {299990, BXF_SEEK_SET, 10},    {1000, BXF_SEEK_SET, 131072}, {64, BXF_SEEK_CUR, 1},
    };
    std::vector<uint8_t> got;
    for (const Step &step : steps) {
        ASSERT_EQ(ops.seek(file, step.offset, step.origin), BXF_RET_OK);
        uint64_t at = 0, n = 0, after = 0;
        ASSERT_EQ(ops.tell(file, &at), BXF_RET_OK);
        got.assign(step.count, 0);
        ASSERT_EQ(ops.read(file, got.data(), step.count, &n), BXF_RET_OK);
        const uint64_t expected = at < content.size() ? std::min<uint64_t>(step.count, content.size() - at) : 0;
        ASSERT_EQ(n, expected) << "at " << at;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, content.begin() + at)) << "at " << at;
        ASSERT_EQ(ops.tell(file, &after), BXF_RET_OK);
        EXPECT_EQ(after, at + n);
    }
    EXPECT_EQ(ops.seek(file, -1, BXF_SEEK_SET), BXF_RET_FILE);
    bxf_file_close(file);
}

TEST(MemoryOperations, BoundedCopiesRefuseSmallDestinations) {
    FileOps ops;
    bxf_fill_file_ops(&ops);
    char dst[8] = "xxxxxxx";
    EXPECT_EQ(ops.copy_memory(0, dst, 3, "abcd", 4), nullptr);
    EXPECT_EQ(dst[0], 'x') << "nothing copied";
    EXPECT_EQ(ops.copy_memory(0, dst, 4, "abcd", 4), dst);
    EXPECT_EQ(ops.move_memory(0, dst + 1, 7, dst, 4), dst + 1);
    EXPECT_EQ(std::string(dst, 5), "aabcd");
    EXPECT_EQ(ops.copy_memory(0, nullptr, 4, "abcd", 4), nullptr);
    EXPECT_EQ(ops.copy_string(0, dst, 8, "hello world", 5), dst);
    EXPECT_STREQ(dst, "hello");
    EXPECT_EQ(ops.copy_string(0, dst, 4, "hello", 5), nullptr);
    EXPECT_EQ(ops.copy_string(0, dst, 5, "hello", 5), nullptr) << "no room for the terminator";
}

}  // namespace
