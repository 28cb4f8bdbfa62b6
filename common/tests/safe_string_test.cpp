// The platform's safe string functions must give the documented results:
// every path, command line and log message is built with them.
#include <windows.h>
#include <strsafe.h>

#include <gtest/gtest.h>

#include <string>

namespace {

char* poisoned(char* buf, size_t size)
{
    memset(buf, 'Z', size);
    return buf;
}

TEST(SafeString, CopyCutsAndTerminates)
{
    char buf[300];
    std::string long_text(300, 'a');
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER,
              StringCchCopyA(poisoned(buf, sizeof buf), 260, long_text.c_str()));
    EXPECT_EQ(std::string(259, 'a'), std::string(buf));
    EXPECT_EQ('Z', buf[260]);

    std::string fits(259, 'b');
    EXPECT_EQ(S_OK, StringCchCopyA(poisoned(buf, sizeof buf), 260, fits.c_str()));
    EXPECT_EQ(fits, std::string(buf));

    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchCopyA(buf, 0, "x"));
}

TEST(SafeString, PrintfExactFitAndCut)
{
    char buf[64];
    EXPECT_EQ(S_OK, StringCchPrintfA(poisoned(buf, sizeof buf), 15, "%d", 0));
    EXPECT_STREQ("0", buf);
    EXPECT_EQ(S_OK, StringCchPrintfA(poisoned(buf, sizeof buf), 10, "%s", "123456789"));
    EXPECT_STREQ("123456789", buf);
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER,
              StringCchPrintfA(poisoned(buf, sizeof buf), 10, "%s-%d", "12345678", 42));
    EXPECT_STREQ("12345678-", buf);
    EXPECT_EQ('Z', buf[10]);
    EXPECT_EQ(S_OK, StringCchPrintfA(buf, 270, "\"%s\" -s", "C:\\a b\\x.exe"));
    EXPECT_STREQ("\"C:\\a b\\x.exe\" -s", buf);
}

TEST(SafeString, CatAppendsCutsAndRefusesUnterminated)
{
    char buf[32];
    strcpy(buf, "C:\\Program Files");
    EXPECT_EQ(S_OK, StringCchCatA(buf, 32, "\\virtio"));
    EXPECT_STREQ("C:\\Program Files\\virtio", buf);
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchCatA(buf, 28, "\\monitor"));
    EXPECT_STREQ("C:\\Program Files\\virtio\\mon", buf);

    char raw[16];
    memset(raw, 'Q', sizeof raw);
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchCatA(raw, 16, "x"));
    EXPECT_EQ(std::string(16, 'Q'), std::string(raw, 16));
}

} // namespace
