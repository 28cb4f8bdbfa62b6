#include "bounded_ops.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const unsigned char POISON = 0xA5;

struct area {
    unsigned char bytes[400];
    area() { memset(bytes, POISON, sizeof bytes); }
    bool all(unsigned char v, size_t from, size_t to) const
    {
        for (size_t i = from; i < to; ++i)
            if (bytes[i] != v)
                return false;
        return true;
    }
};

TEST(BoundedCopy, CopiesDisjointRanges)
{
    area dst;
    const char src[] = "active";
    EXPECT_EQ(0, bounded_copy(dst.bytes, 256, src, 6));
    EXPECT_EQ(0, memcmp(dst.bytes, "active", 6));
    EXPECT_TRUE(dst.all(POISON, 6, 400));
}

TEST(BoundedCopy, NothingToDoLeavesDestinationAlone)
{
    area dst;
    const char src[] = "x";
    EXPECT_EQ(0, bounded_copy(dst.bytes, 256, src, 0));
    EXPECT_EQ(0, bounded_copy(dst.bytes, 256, dst.bytes, 10));
    EXPECT_TRUE(dst.all(POISON, 0, 400));
}

TEST(BoundedCopy, RefusalsClearExactlyTheCapacity)
{
    const char src[300] = {};
    struct {
        size_t capacity;
        bool null_dst, null_src;
        size_t count;
        int expected;
        bool cleared;
    } rows[] = {
        {0, false, false, 6, 34, false},
        {2147483648u, false, true, 300, 34, false},  // capacity is tested before the source
        {256, true, false, 6, 22, false},
        {256, false, true, 6, 150, true},
        {256, false, false, 300, 162, true},
    };
    for (const auto& row : rows) {
        area dst;
        int rc = bounded_copy(row.null_dst ? nullptr : dst.bytes, row.capacity,
                              row.null_src ? nullptr : src, row.count);
        EXPECT_EQ(row.expected, rc) << "capacity " << row.capacity << " count " << row.count;
        if (row.cleared) {
            EXPECT_TRUE(dst.all(0, 0, 256));
            EXPECT_TRUE(dst.all(POISON, 256, 400));
        } else {
            EXPECT_TRUE(dst.all(POISON, 0, 400));
        }
    }
}

TEST(BoundedCopy, OverlapInEitherDirectionClearsDestination)
{
    area a;
    EXPECT_EQ(182, bounded_copy(a.bytes + 10, 100, a.bytes, 20));
    EXPECT_TRUE(a.all(0, 10, 110));
    EXPECT_TRUE(a.all(POISON, 0, 10));
    area b;
    EXPECT_EQ(182, bounded_copy(b.bytes, 100, b.bytes + 10, 20));
    EXPECT_TRUE(b.all(0, 0, 100));
    EXPECT_TRUE(b.all(POISON, 100, 400));
}

TEST(BoundedFill, FillsCountOrCapacity)
{
    area a;
    EXPECT_EQ(0, bounded_fill(a.bytes, 256, 0, 256));
    EXPECT_TRUE(a.all(0, 0, 256));
    EXPECT_TRUE(a.all(POISON, 256, 400));

    area b;
    EXPECT_EQ(34, bounded_fill(b.bytes, 256, 0x11, 300));
    EXPECT_TRUE(b.all(0x11, 0, 256));
    EXPECT_TRUE(b.all(POISON, 256, 400));

    area c;
    EXPECT_EQ(34, bounded_fill(c.bytes, 0, 0, 8));
    EXPECT_EQ(22, bounded_fill(nullptr, 8, 0, 8));
    EXPECT_TRUE(c.all(POISON, 0, 400));
}

} // namespace
