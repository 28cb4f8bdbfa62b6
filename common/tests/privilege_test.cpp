#include "handles.h"
#include "privilege.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char DEBUG_PRIVILEGE[] = "SeDebugPrivilege";

// SE_PRIVILEGE_* attributes of the privilege in the token; 0xFFFFFFFF when absent.
DWORD privilege_attributes(HANDLE token, const char* name)
{
    LUID luid = {};
    EXPECT_TRUE(LookupPrivilegeValueA(nullptr, name, &luid));
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<char> buffer(size + 64, '\x5A');
    EXPECT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), DWORD(buffer.size()), &size));
    const TOKEN_PRIVILEGES* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < held->PrivilegeCount; ++i) {
        const LUID& l = held->Privileges[i].Luid;
        if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart)
            return held->Privileges[i].Attributes;
    }
    return 0xFFFFFFFF;
}

TEST(DebugPrivilege, EnabledInThisProcessToken)
{
    unique_handle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    ASSERT_NE(0xFFFFFFFFu, privilege_attributes(token.get(), DEBUG_PRIVILEGE)) << "held";
    EXPECT_TRUE(enable_debug_privilege());
    EXPECT_EQ(DWORD(SE_PRIVILEGE_ENABLED),
              privilege_attributes(token.get(), DEBUG_PRIVILEGE) & SE_PRIVILEGE_ENABLED);
}

// AdjustTokenPrivileges reports success for a privilege the token lacks.
TEST(DebugPrivilege, NotHeldIsNotReportedAsEnabled)
{
    unique_handle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, token.put()));
    LUID_AND_ATTRIBUTES removed = {};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, DEBUG_PRIVILEGE, &removed.Luid));
    unique_handle without;
    ASSERT_TRUE(CreateRestrictedToken(token.get(), 0, 0, nullptr, 1, &removed, 0, nullptr,
                                      without.put()));
    ASSERT_EQ(0xFFFFFFFFu, privilege_attributes(without.get(), DEBUG_PRIVILEGE));

    EXPECT_FALSE(enable_token_privilege(without.get(), DEBUG_PRIVILEGE));
    EXPECT_FALSE(enable_token_privilege(token.get(), "SeNoSuchPrivilege"));
}

} // namespace
