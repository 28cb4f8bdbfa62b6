#include <gtest/gtest.h>

#include <windows.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "logs.h"
#include "contract.h"
#include "handles.h"
#include "idle_publisher.h"
#include "test_support.h"
#include "tray_seams.h"

namespace {

const DWORD kPeriodMs = 100;
const std::string kActiveBlock = std::string(IDLE_ACTIVE_TEXT) + std::string(IDLE_BLOCK_SIZE - 6, '\0');
const std::string kZeroBlock(IDLE_BLOCK_SIZE, '\0');

TEST(IdleTick, OnlyADifferentTickCountsAsInput)
{
    struct {
        DWORD previous, current;
        bool moved;
    } cases[] = {{0, 0, false}, {0, 1, true}, {5000, 5000, false}, {5000, 4999, true},
                 {0xFFFFFFFF, 3, true}, {0, 0xFFFFFFFF, true}};
    for (auto& c : cases)
        EXPECT_EQ(input_tick_moved(c.previous, c.current), c.moved) << c.previous << " " << c.current;
}

// The block as a reader in this process sees it, mutex held around the read.
struct idle_reader {
    unique_handle mutex;
    unique_handle mapping;
    unique_view view;

    bool open()
    {
        mutex.reset(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, IDLE_MUTEX_NAME));
        mapping.reset(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, IDLE_MAPPING_NAME));
        if (mutex && mapping)
            view.reset(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, IDLE_BLOCK_SIZE));
        return bool(view);
    }
    std::string read()
    {
        EXPECT_EQ(WaitForSingleObject(mutex.get(), 2000), WAIT_OBJECT_0);
        std::string bytes(static_cast<const char*>(view.get()), IDLE_BLOCK_SIZE);
        ReleaseMutex(mutex.get());
        return bytes;
    }
    void write(const std::string& bytes)
    {
        EXPECT_EQ(WaitForSingleObject(mutex.get(), 2000), WAIT_OBJECT_0);
        memcpy(view.get(), bytes.data(), IDLE_BLOCK_SIZE);
        ReleaseMutex(mutex.get());
    }
};

void nudge_mouse()
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = 1;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof(input));
}

class IdlePublisher : public ::testing::Test {
protected:
    void SetUp() override
    {
        logs::clear_tray_log();
        ASSERT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, IDLE_MAPPING_NAME), nullptr)
            << "a block is left from an earlier test";
    }
    void TearDown() override
    {
        if (probe) {
            TerminateProcess(probe.get(), 0);
            WaitForSingleObject(probe.get(), 5000);
        }
        ts::remove_file(logs::tray_log_path());
    }
    void start_probe(DWORD period_ms = kPeriodMs)
    {
        // Wine reports a last-input tick of 0 until the first input, which the
        // first look would take for "no input".
        nudge_mouse();
        probe.reset(ts::start("\"" + ts::sibling("idle_publisher_probe.exe") + "\"",
                              {std::string(TEST_IDLE_PERIOD_ENV "=") + std::to_string(period_ms)}));
        ASSERT_TRUE(probe);
    }
    bool block_becomes(idle_reader& reader, const std::string& bytes, DWORD timeout_ms)
    {
        return ts::wait_until([&] { return reader.read() == bytes; }, timeout_ms);
    }
    unique_handle probe;
};

TEST_F(IdlePublisher, FirstLookWritesActiveReaderClearsItAndOnlyInputBringsItBack)
{
    start_probe();
    idle_reader reader;
    ASSERT_TRUE(ts::wait_until([&] { return reader.open(); }, 3000));
    ASSERT_TRUE(block_becomes(reader, kActiveBlock, 3000));

    reader.write(kZeroBlock);
    Sleep(6 * kPeriodMs);
    EXPECT_EQ(reader.read(), kZeroBlock) << "rewritten without input";

    nudge_mouse();
    EXPECT_TRUE(block_becomes(reader, kActiveBlock, 3000));
    EXPECT_TRUE(logs::tray_log_messages().empty());
}

TEST_F(IdlePublisher, AnExistingBlockIsOpenedAsItIsAndOverwrittenWholeUnderTheMutex)
{
    unique_handle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             IDLE_BLOCK_SIZE, IDLE_MAPPING_NAME));
    unique_handle mutex(CreateMutexA(nullptr, FALSE, IDLE_MUTEX_NAME));
    ASSERT_TRUE(mapping && mutex);
    idle_reader reader;
    ASSERT_TRUE(reader.open());
    const std::string reader_text(IDLE_BLOCK_SIZE, 'x');
    reader.write(reader_text);

    // This reader holds the mutex: the publisher's first look must wait.
    ASSERT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    start_probe();
    Sleep(8 * kPeriodMs);
    EXPECT_EQ(std::string(static_cast<const char*>(reader.view.get()), IDLE_BLOCK_SIZE), reader_text)
        << "cleared on open, or written without the mutex";
    ReleaseMutex(mutex.get());

    EXPECT_TRUE(block_becomes(reader, kActiveBlock, 3000));
}

// Any user may take the mutex and never release it: each look waits one
// period at most, skips its write and says so once; the write comes at the
// first look after the mutex is free again.
TEST_F(IdlePublisher, AMutexHeldForeverCostsOneLogLineAndNoHang)
{
    unique_handle mutex(CreateMutexA(nullptr, TRUE, IDLE_MUTEX_NAME));
    ASSERT_TRUE(mutex);
    start_probe();
    ASSERT_TRUE(ts::wait_until([] { return !logs::tray_log_messages().empty(); }, 3000));
    Sleep(10 * kPeriodMs);
    EXPECT_EQ(logs::tray_log_messages(), std::vector<std::string>{LOG_IDLE_MUTEX_BUSY});
    ReleaseMutex(mutex.get());
    idle_reader reader;
    ASSERT_TRUE(reader.open());
    EXPECT_TRUE(block_becomes(reader, kActiveBlock, 3000));

    // The bound itself, in this process: another thread holds the mutex.
    std::string block(IDLE_BLOCK_SIZE, 'x');
    HANDLE events[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::thread holder([&] {
        WaitForSingleObject(mutex.get(), INFINITE);
        SetEvent(events[0]);
        WaitForSingleObject(events[1], INFINITE);
        ReleaseMutex(mutex.get());
    });
    WaitForSingleObject(events[0], INFINITE);
    DWORD start = GetTickCount();
    EXPECT_FALSE(publish_active(mutex.get(), &block[0], 50));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(block, std::string(IDLE_BLOCK_SIZE, 'x'));
    SetEvent(events[1]);
    holder.join();
    EXPECT_TRUE(publish_active(mutex.get(), &block[0], 50));
    EXPECT_EQ(block, kActiveBlock);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

// A name taken by an object of another kind makes both the open and the
// create fail: the publisher logs, ends with 1 and writes no block.
TEST_F(IdlePublisher, GivesUpWithItsLogLinesWhenAnObjectCannotBeHad)
{
    struct {
        const char* squatted_name;
        std::vector<std::string> log;
    } cases[] = {
        {IDLE_MUTEX_NAME, {LOG_IDLE_MUTEX_FAILED, LOG_IDLE_MUTEX_NULL}},
        {IDLE_MAPPING_NAME, {LOG_IDLE_MAPPING_FAILED, LOG_IDLE_MAPPING_NULL}},
    };
    for (auto& c : cases) {
        ts::remove_file(logs::tray_log_path());
        unique_handle squatter(CreateEventA(nullptr, TRUE, FALSE, c.squatted_name));
        ASSERT_TRUE(squatter);
        start_probe();
        ASSERT_EQ(WaitForSingleObject(probe.get(), 5000), WAIT_OBJECT_0) << c.squatted_name;
        DWORD code = 0;
        GetExitCodeProcess(probe.get(), &code);
        EXPECT_EQ(code, 1u) << c.squatted_name;
        EXPECT_EQ(logs::tray_log_messages(), c.log) << c.squatted_name;
        unique_handle block(OpenFileMappingA(FILE_MAP_READ, FALSE, IDLE_MAPPING_NAME));
        EXPECT_FALSE(block) << c.squatted_name;
        probe.reset();
    }
}

} // namespace
