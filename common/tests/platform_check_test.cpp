#include "platform_check.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

int g_open_failures = 0;
void count_open_failure() { ++g_open_failures; }

const char* BIOS = "HARDWARE\\DESCRIPTION\\System\\BIOS";

class PlatformCheck : public ::testing::Test {
protected:
    void TearDown() override { ts::set_manufacturer("QEMU"); }
};

TEST_F(PlatformCheck, ManufacturerTextsAgainstTheRegistry)
{
    struct {
        const char* text;
        bool kvm;
    } rows[] = {
        {"Xen", false}, {"XenSource", false}, {"xen", true},   {"XEN", true},
        {"QEMU", true}, {"Red Hat", true},    {"Xe", true},    {"", true},
    };
    for (const auto& row : rows) {
        ts::set_manufacturer(row.text);
        g_open_failures = 0;
        EXPECT_EQ(row.kvm, is_kvm_platform(count_open_failure)) << '"' << row.text << '"';
        EXPECT_EQ(row.kvm, manufacturer_is_kvm(row.text));
        EXPECT_EQ(0, g_open_failures);
    }
}

TEST_F(PlatformCheck, UnreadableValueIsNotKvm)
{
    ts::reg_delete_value(HKEY_LOCAL_MACHINE, BIOS, "SystemManufacturer");
    EXPECT_FALSE(is_kvm_platform(count_open_failure));

    std::string too_long(300, 'Q');
    ts::set_manufacturer(too_long);
    EXPECT_FALSE(is_kvm_platform(nullptr));
    EXPECT_EQ(0, g_open_failures);
}

} // namespace
