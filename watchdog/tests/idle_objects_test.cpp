// The service makes the idle block and its mutex for the trays of every
// session, and never writes the block; a tray started afterwards opens them
// and publishes into the block.
#include "agent_fixture.h"
#include "contract.h"
#include "handles.h"
#include "spine_support.h"
#include "test_support.h"
#include "tray_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string ZERO_BLOCK(IDLE_BLOCK_SIZE, '\0');
const std::string ACTIVE_BLOCK = IDLE_ACTIVE_TEXT + std::string(IDLE_BLOCK_SIZE - 6, '\0');

std::string block_bytes(HANDLE mapping)
{
    unique_view view(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, IDLE_BLOCK_SIZE));
    return view ? std::string(static_cast<const char*>(view.get()), IDLE_BLOCK_SIZE) : "";
}

class IdleObjects : public ::testing::Test {
protected:
    void SetUp() override { agent_fixture::remove_watchdog_setup(); }
    void TearDown() override
    {
        td::end_tray_test(tray);
        agent_fixture::remove_watchdog_setup();
    }
    HANDLE tray = nullptr;
};

TEST_F(IdleObjects, ServiceMakesThemZeroedAndATrayPublishesIntoThem)
{
    ASSERT_FALSE(unique_handle(OpenFileMappingA(FILE_MAP_READ, FALSE, IDLE_MAPPING_NAME)))
        << "a block is left from an earlier test";
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, TEST_PERIOD_VALUE, 60000);
    ASSERT_EQ(0u, ts::run("\"" + ts::sibling(WATCHDOG_IMAGE_NAME) + "\" -i", 10000).exit_code);
    ASSERT_TRUE(svc::start(WATCHDOG_SERVICE_NAME));
    ASSERT_TRUE(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 5000));

    unique_handle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, IDLE_MAPPING_NAME));
    unique_handle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, IDLE_MUTEX_NAME));
    ASSERT_TRUE(mapping && mutex);
    EXPECT_EQ(ZERO_BLOCK, block_bytes(mapping.get()));

    spine::nudge_mouse();
    tray = spine::start_tray({TEST_IDLE_PERIOD_ENV "=100"});
    ASSERT_TRUE(tray);
    std::string seen;
    EXPECT_TRUE(ts::wait_until([&] { return (seen = block_bytes(mapping.get())) == ACTIVE_BLOCK; },
                               5000))
        << "block starts with \"" << seen.c_str() << "\"";
    EXPECT_EQ(DWORD(SERVICE_RUNNING), svc::state(WATCHDOG_SERVICE_NAME));
}

} // namespace
