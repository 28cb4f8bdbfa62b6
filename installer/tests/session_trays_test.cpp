// Which sessions get a tray at install and whose token starts it (tables fed
// with what the system could report), and the start itself into this Wine
// prefix's one session, twice.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "contract.h"
#include "session_trays.h"
#include "tray_ending.h"
#include "tray_run.h"
#include "test_support.h"

namespace {

TEST(TraySessions, ActiveAndDisconnectedListedSessionsElseTheShells)
{
    struct row {
        const char* what;
        DWORD major;
        bool listed;
        std::vector<listed_session> sessions;
        std::vector<DWORD> shells;
        std::vector<DWORD> expected;
    } rows[] = {
        {"XP, the console user in session 0", 5, true, {{0, WTSActive}}, {0}, {0}},
        {"XP with fast user switching: a switched-away user counts, the logon screen and the listener not",
         5, true, {{0, WTSDisconnected}, {1, WTSActive}, {2, WTSConnected}, {65536, WTSListen}}, {0, 1}, {0, 1}},
        {"Vista and later: session 0 never, whatever its state", 6, true,
         {{0, WTSDisconnected}, {1, WTSActive}, {2, WTSDisconnected}, {3, WTSDown}, {4, WTSIdle}}, {}, {1, 2}},
        {"the listing wins over the shells", 5, true, {{1, WTSActive}}, {0, 3}, {1}},
        {"2000 without Terminal Services: the shells' sessions, each once", 5, false, {}, {0, 0}, {0}},
        {"listed nothing (as Wine does): the shells', without 0 on Vista", 6, true, {}, {1, 0, 1, 2}, {1, 2}},
        {"no listing and only a shell in session 0 on Vista: none", 6, false, {}, {0}, {}},
        {"nothing at all", 5, false, {}, {}, {}},
    };
    for (const row& r : rows) {
        session_facts facts = {r.major, r.listed, r.sessions.data(), r.sessions.size(),
                               r.shells.data(), r.shells.size()};
        DWORD chosen[8];
        memset(chosen, 0xCD, sizeof chosen);
        size_t count = choose_tray_sessions(facts, chosen, 8);
        EXPECT_EQ(std::vector<DWORD>(chosen, chosen + count), r.expected) << r.what;
    }
    // Never beyond the room given.
    std::vector<listed_session> many = {{1, WTSActive}, {2, WTSActive}, {3, WTSActive}};
    session_facts facts = {6, true, many.data(), many.size(), nullptr, 0};
    DWORD chosen[3] = {0, 0, 0xCDCDCDCD};
    EXPECT_EQ(choose_tray_sessions(facts, chosen, 2), 2u);
    EXPECT_EQ(chosen[2], 0xCDCDCDCDu);
}

TEST(TrayTokens, SessionQueryFirstFromXpTheShellAlwaysNeverAServiceAccount)
{
    struct row {
        DWORD major, minor;
        bool query;
        std::vector<token_source> expected;
    } rows[] = {
        {5, 0, true, {TOKEN_FROM_SHELL}},   // Windows 2000 (a wtsapi32 that had it would not be used)
        {5, 0, false, {TOKEN_FROM_SHELL}},
        {5, 1, true, {TOKEN_FROM_SESSION_QUERY, TOKEN_FROM_SHELL}},   // XP
        {5, 1, false, {TOKEN_FROM_SHELL}},
        {5, 2, true, {TOKEN_FROM_SESSION_QUERY, TOKEN_FROM_SHELL}},   // 2003, XP x64
        {6, 1, true, {TOKEN_FROM_SESSION_QUERY, TOKEN_FROM_SHELL}},   // 7, 2008 R2
        {6, 0, false, {TOKEN_FROM_SHELL}},
    };
    for (const row& r : rows) {
        token_source sources[2] = {static_cast<token_source>(7), static_cast<token_source>(7)};
        int count = choose_token_sources(r.major, r.minor, r.query, sources);
        EXPECT_EQ(std::vector<token_source>(sources, sources + count), r.expected)
            << r.major << "." << r.minor << " query " << r.query;
    }

    const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY, world = SECURITY_WORLD_SID_AUTHORITY;
    struct account {
        const char* sid;
        SID_IDENTIFIER_AUTHORITY authority;
        DWORD count, first;
        bool may;
    } accounts[] = {
        {"S-1-5-18 LocalSystem", nt, 1, 18, false},
        {"S-1-5-19 LocalService", nt, 1, 19, false},
        {"S-1-5-20 NetworkService", nt, 1, 20, false},
        {"S-1-5-21-...-1000 a user", nt, 5, 21, true},
        {"S-1-5 without sub-authorities", nt, 0, 0, false},
        {"S-1-1-18 (not the NT authority)", world, 1, 18, true},
    };
    for (const account& a : accounts)
        EXPECT_EQ(account_may_run_tray(a.authority, a.count, a.first), a.may) << a.sid;
}

TEST(TrayPath, OnlyTheTrayByItsFullLocalPath)
{
    EXPECT_TRUE(is_full_tray_path("C:\\Program Files\\virtio\\tools\\qor-tel.exe"));
    EXPECT_TRUE(is_full_tray_path("d:\\T\\QOR-TEL.EXE"));
    for (const char* path : {"qor-tel.exe", "C:qor-tel.exe", "\\\\server\\share\\qor-tel.exe",
                             "C:\\tools\\cmd.exe", "C:\\tools\\qor-tel.exe.bat", "C:\\tools\\xqor-tel.exe",
                             "C:\\", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(is_full_tray_path(path)) << (path ? path : "(null)");
}

void collect(void* context, const char* text)
{
    static_cast<std::vector<std::string>*>(context)->push_back(text);
}

// Wine lists no session and gives the shell's session 1; WTSQueryUserToken
// gives this prefix's user.
TEST(TrayStart, StartsTheTrayInTheSessionAndASecondStartLeavesOneWindow)
{
    tray_run::stop_trays();
    ts::set_manufacturer("QEMU");
    std::string tray = ts::sibling(TRAY_IMAGE_NAME);
    std::vector<std::string> lines;
    EXPECT_EQ(start_trays_in_sessions(tray.c_str(), collect, &lines), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("started " + tray + " in session 1 (process ", 0), 0u) << lines[0];
    ASSERT_TRUE(ts::wait_until([] { return tray_run::tray_window_count() == 1; }, 15000));
    std::vector<DWORD> first = ts::processes_named(TRAY_IMAGE_NAME);

    lines.clear();
    EXPECT_EQ(start_trays_in_sessions(tray.c_str(), collect, &lines), 1);
    EXPECT_EQ(lines.size(), 1u);
    // The second copy hands over to the first ("AddTray") and ends.
    EXPECT_TRUE(ts::wait_until([&] { return ts::processes_named(TRAY_IMAGE_NAME) == first; }, 10000));
    EXPECT_EQ(tray_run::tray_window_count(), 1);

    tray_run::stop_trays();
}

// Look-alikes of the tray in several places: every one is ended, each
// through the handle its name was read on, and the count says so.
TEST(EndTrays, EveryProcessOfTheTraysNameIsEnded)
{
    tray_run::stop_trays();
    std::vector<HANDLE> started;
    for (int i = 0; i < 3; ++i) {
        std::string folder = "C:\\gt_test\\look_alike_" + std::to_string(i);
        ts::make_dirs(folder);
        ASSERT_TRUE(CopyFileA(ts::sibling("idle_double.exe").c_str(), (folder + "\\" TRAY_IMAGE_NAME).c_str(), FALSE));
        started.push_back(ts::start("\"" + folder + "\\" TRAY_IMAGE_NAME "\" 30000"));
        ASSERT_TRUE(started.back());
    }
    ASSERT_TRUE(ts::wait_until([] { return ts::processes_named(TRAY_IMAGE_NAME).size() == 3; }, 5000));
    std::vector<std::string> lines;
    EXPECT_EQ(end_running_trays(collect, &lines), 3);
    EXPECT_EQ(lines.size(), 3u);
    for (HANDLE process : started) {
        EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(process, &code) && code == 1);
        CloseHandle(process);
    }
    EXPECT_TRUE(ts::processes_named(TRAY_IMAGE_NAME).empty());
}

} // namespace
