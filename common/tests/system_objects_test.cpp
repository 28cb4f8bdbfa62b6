// Files of the system folder, and the idle mutex's rights.
#include "contract.h"
#include "file_rights.h"
#include "handles.h"
#include "idle_objects.h"
#include "system_folder.h"
#include "test_names.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <string.h>

#include <string>

namespace {

TEST(SystemFolder, FilesAreNamedInTheFolderTheSystemReportsAndNeverCut)
{
    char path[MAX_PATH];
    memset(path, 0x5A, sizeof path);
    ASSERT_TRUE(system_file_path(WU_ENGINE_FILE, path, sizeof path));
    EXPECT_STRCASEEQ(WU_ENGINE_PATH, path);   // Wine's system folder is XP's and later
    for (size_t capacity : {size_t(5), strlen(path)}) {
        EXPECT_FALSE(system_file_path(WU_ENGINE_FILE, path, capacity)) << capacity;
        EXPECT_EQ('\0', path[0]);
    }
}

TEST(IdleMutex, DescriptorGrantsEverybodyOnlyWaitReleaseAndRead)
{
    const struct {
        const char* sid;
        DWORD mask;
    } wanted[] = {{"S-1-5-18", 0x1F0001}, {"S-1-5-32-544", 0x1F0001}, {"S-1-1-0", 0x120001}};
    file_security security;
    ASSERT_TRUE(build_file_security(idle_mutex_rights(), &security));
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(&security.descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl) << "a null DACL lets anybody change it";
    ASSERT_EQ(3u, dacl->AceCount);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(wanted[i].mask, ace->Mask) << i;
        unique_local<char*> sid;
        ASSERT_TRUE(ConvertSidToStringSidA(&ace->SidStart, sid.put()));
        EXPECT_STREQ(wanted[i].sid, sid.get());
    }
}

DWORD granted_access(HANDLE handle)
{
    struct {
        ULONG attributes;
        ACCESS_MASK granted;
        ULONG rest[12];
    } basic = {0, 0xFFFFFFFF, {}};
    typedef LONG(WINAPI * query_fn)(HANDLE, int, void*, ULONG, ULONG*);
    query_fn query = reinterpret_cast<query_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll"), "NtQueryObject")));
    query(handle, 0 /* ObjectBasicInformation */, &basic, sizeof basic, nullptr);
    return basic.granted;
}

// The service (or the first tray) makes it, trays open it: each handle holds
// exactly the three rights, none to change the DACL with.
TEST(IdleMutex, CreatorAndOpenerHoldExactlyTheGrantedRights)
{
    const std::string name = "Global\\gt_idle_mutex_" + std::to_string(GetCurrentProcessId());
    unique_handle creator(obtain_idle_mutex(name.c_str()).handle);
    unique_handle opener(obtain_idle_mutex(name.c_str()).handle);
    ASSERT_TRUE(creator && opener);
    EXPECT_EQ(0x120001u, granted_access(creator.get()));
    EXPECT_EQ(0x120001u, granted_access(opener.get()));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(opener.get(), 1000)) << "owned when made";
    EXPECT_TRUE(ReleaseMutex(opener.get()));
}

} // namespace
