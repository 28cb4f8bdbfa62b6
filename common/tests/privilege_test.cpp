#include "handles.h"
#include "privilege.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// SE_PRIVILEGE_* attributes of SeDebugPrivilege in the token; -1 when absent.
long debug_privilege_attributes(HANDLE token)
{
    LUID luid = {};
    LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid);
    std::vector<char> buffer(4096, '\x5A');
    DWORD size = 0;
    EXPECT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), DWORD(buffer.size()), &size));
    const TOKEN_PRIVILEGES* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < held->PrivilegeCount; ++i) {
        if (held->Privileges[i].Luid.LowPart == luid.LowPart &&
            held->Privileges[i].Luid.HighPart == luid.HighPart)
            return long(held->Privileges[i].Attributes);
    }
    return -1;
}

// AdjustTokenPrivileges also succeeds for a privilege the token lacks.
TEST(DebugPrivilege, EnabledWhenHeldAndNeverReportedWhenNot)
{
    unique_handle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, token.put()));
    ASSERT_NE(-1, debug_privilege_attributes(token.get())) << "held";
    EXPECT_TRUE(enable_debug_privilege());
    EXPECT_EQ(SE_PRIVILEGE_ENABLED, debug_privilege_attributes(token.get()) & SE_PRIVILEGE_ENABLED);

    LUID_AND_ATTRIBUTES removed = {};
    LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &removed.Luid);
    unique_handle without;
    ASSERT_TRUE(CreateRestrictedToken(token.get(), 0, 0, nullptr, 1, &removed, 0, nullptr,
                                      without.put()));
    ASSERT_EQ(-1, debug_privilege_attributes(without.get()));
    EXPECT_FALSE(enable_token_privilege(without.get(), "SeDebugPrivilege"));
}

} // namespace
