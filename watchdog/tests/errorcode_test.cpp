#include "console_repair.h"
#include "repair_record.h"
#include "contract.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

class WriteErrorRecord : public ::testing::Test {
protected:
    void SetUp() override { ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY); }
    void TearDown() override { ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY); }
};

TEST_F(WriteErrorRecord, TextsAgainstTheRegistry)
{
    DWORD dword_995 = 995;
    std::string long_554 = "554" + std::string(253, ' ');   // 256 bytes with its NUL
    std::string just_fits = std::string(251, ' ') + "554";   // 255 bytes with its NUL
    struct {
        const char* name;
        DWORD type;
        std::string bytes;
        int expected;
    } rows[] = {
        {"554", REG_SZ, std::string("554", 4), 554},
        {"995", REG_SZ, std::string("995", 4), 995},
        {"both, 995 first", REG_SZ, std::string("995,554", 8), 554},
        {"both, 554 first", REG_SZ, std::string("554 995", 8), 554},
        {"1995", REG_SZ, std::string("1995", 5), 995},
        {"5540", REG_SZ, std::string("5540", 5), 554},
        {"0", REG_SZ, std::string("0", 2), 0},
        {"empty", REG_SZ, std::string("", 1), 0},
        {"123", REG_SZ, std::string("123", 4), 0},
        {"no terminator stored", REG_SZ, std::string("995"), 995},
        {"other type with the text", REG_BINARY, std::string("554", 3), 554},
        {"REG_DWORD 995", REG_DWORD, std::string(reinterpret_cast<char*>(&dword_995), 4), 0},
        {"255 bytes", REG_SZ, std::string(just_fits.c_str(), 255), 554},
        {"longer than 255 bytes", REG_SZ, std::string(long_554.c_str(), 257), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(ts::reg_set_raw(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE,
                                    row.type, row.bytes.data(), (DWORD)row.bytes.size()));
        EXPECT_EQ(row.expected, read_writefile_errorcode());
    }
}

TEST_F(WriteErrorRecord, MissingKeyOrValueGivesZero)
{
    EXPECT_EQ(0, read_writefile_errorcode());
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, "other", "554");
    EXPECT_EQ(0, read_writefile_errorcode());
}

TEST_F(WriteErrorRecord, ClearWritesTheTextZero)
{
    // Once over an existing record, once with no key at all.
    for (bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "existing record" : "no key");
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY);
        if (existing)
            ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE,
                           "995 554 and more");
        clear_writefile_errorcode();
        std::string bytes;
        DWORD type = 0;
        ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE,
                                &bytes, &type));
        EXPECT_EQ(DWORD(REG_SZ), type);
        EXPECT_STREQ("0", bytes.c_str());
        EXPECT_EQ(0, read_writefile_errorcode());
    }
}

TEST(StopPhase, ExitCodesThatLeaveTheAgentStopped)
{
    struct {
        int exit_code;
        bool succeeded;
    } rows[] = {
        {0, true}, {1062, true}, {1, false}, {1060, false}, {1061, false}, {5, false}, {-1, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.succeeded, stop_phase_succeeded(row.exit_code)) << row.exit_code;
}

} // namespace
