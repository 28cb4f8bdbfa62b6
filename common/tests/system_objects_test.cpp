// What the programs take from the system: files of the system folder, and
// the idle mutex with its rights.
#include "contract.h"
#include "file_rights.h"
#include "handles.h"
#include "idle_objects.h"
#include "system_folder.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <string.h>

#include <string>

namespace {

TEST(SystemFolder, FilesAreNamedInTheFolderTheSystemReports)
{
    char folder[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryA(folder, sizeof folder));
    const std::string wanted = std::string(folder) + "\\" WU_ENGINE_FILE;

    char path[MAX_PATH];
    memset(path, 0x5A, sizeof path);
    ASSERT_TRUE(system_file_path(WU_ENGINE_FILE, path, sizeof path));
    EXPECT_EQ(wanted, path);
    EXPECT_STRCASEEQ(WU_ENGINE_PATH, path) << "Wine's system folder is the XP-and-later default";

    // Too small for the folder, or for the whole path: nothing, never a cut path.
    for (size_t capacity : {strlen(folder) - 1, strlen(folder) + 1, wanted.size()}) {
        memset(path, 0x5A, sizeof path);
        EXPECT_FALSE(system_file_path(WU_ENGINE_FILE, path, capacity)) << capacity;
        EXPECT_EQ('\0', path[0]) << capacity;
    }
    EXPECT_TRUE(system_file_path(WU_ENGINE_FILE, path, wanted.size() + 1));
}

struct ace_row {
    const char* sid;
    DWORD mask;
};

// The DACL the idle mutex is created with: SYSTEM and Administrators all of
// a mutex's rights, everybody wait, release and read-security only.
TEST(IdleMutex, DescriptorGrantsEverybodyOnlyWaitReleaseAndRead)
{
    const ace_row wanted[] = {
        {"S-1-5-18", 0x1F0001},
        {"S-1-5-32-544", 0x1F0001},
        {"S-1-1-0", 0x120001},   // SYNCHRONIZE | READ_CONTROL | MUTEX_MODIFY_STATE
    };
    file_security security;
    memset(&security, 0x5A, sizeof security);
    ASSERT_TRUE(build_file_security(idle_mutex_rights(), &security));
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(&security.descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl) << "a null DACL lets anybody change it";
    EXPECT_FALSE(defaulted);
    ASSERT_EQ(3u, dacl->AceCount);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType) << i;
        EXPECT_EQ(0, allowed->Header.AceFlags) << i;
        EXPECT_EQ(wanted[i].mask, allowed->Mask) << i;
        char* text = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(const_cast<DWORD*>(&allowed->SidStart), &text));
        EXPECT_STREQ(wanted[i].sid, text) << i;
        LocalFree(text);
    }
}

// The rights a handle was granted, as the system keeps them.
DWORD granted_access(HANDLE handle)
{
    struct basic_information {
        ULONG attributes;
        ACCESS_MASK granted_access;
        ULONG counts[12];
    } info;
    memset(&info, 0x5A, sizeof info);
    typedef LONG(WINAPI * query_object_fn)(HANDLE, int, void*, ULONG, ULONG*);
    query_object_fn query = reinterpret_cast<query_object_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll"), "NtQueryObject")));
    ULONG size = 0;
    if (!query || query(handle, 0 /* ObjectBasicInformation */, &info, sizeof info, &size) != 0)
        return 0xFFFFFFFF;
    return info.granted_access;
}

// The service makes the mutex, trays open it (or the first tray makes it):
// every handle holds exactly what everybody is granted, nothing to change
// its DACL with.
TEST(IdleMutex, CreatorAndOpenersHoldExactlyTheGrantedRights)
{
    const std::string name = "Global\\gt_idle_mutex_" + std::to_string(GetCurrentProcessId());
    idle_object created = obtain_idle_mutex(name.c_str());
    ASSERT_EQ(IDLE_OBJECT_READY, created.step);
    unique_handle creator(created.handle);
    idle_object opened = obtain_idle_mutex(name.c_str());
    ASSERT_EQ(IDLE_OBJECT_READY, opened.step);
    unique_handle opener(opened.handle);
    EXPECT_NE(creator.get(), opener.get());

    EXPECT_EQ(DWORD(IDLE_MUTEX_USER_RIGHTS), granted_access(creator.get()));
    EXPECT_EQ(DWORD(IDLE_MUTEX_USER_RIGHTS), granted_access(opener.get()));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(opener.get(), 1000)) << "not owned when made";
    EXPECT_TRUE(ReleaseMutex(opener.get()));
    EXPECT_EQ(0x120001u, DWORD(IDLE_MUTEX_USER_RIGHTS));
}

} // namespace
