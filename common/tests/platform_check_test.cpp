#include "platform_check.h"
#include "smbios.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

// Whether the BIOS key could not be opened (the watchdog logs that).
int key_open_failures() { return read_platform_record(false).key_error != ERROR_SUCCESS ? 1 : 0; }

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
        EXPECT_EQ(row.kvm, is_kvm_platform()) << '"' << row.text << '"';
        EXPECT_EQ(row.kvm, manufacturer_is_kvm(row.text));
        EXPECT_EQ(0, key_open_failures());
    }
}

TEST_F(PlatformCheck, UnreadableValueIsNotKvm)
{
    ts::reg_delete_value(HKEY_LOCAL_MACHINE, BIOS, "SystemManufacturer");
    EXPECT_FALSE(is_kvm_platform());

    std::string too_long(300, 'Q');
    ts::set_manufacturer(too_long);
    EXPECT_FALSE(is_kvm_platform());
    EXPECT_EQ(0, key_open_failures());
}

// One SMBIOS structure: type, formatted part (header included) and its strings.
std::string structure(unsigned char type, std::string formatted_after_header,
                      const std::vector<std::string>& strings)
{
    std::string s;
    s += static_cast<char>(type);
    s += static_cast<char>(4 + formatted_after_header.size());
    s += std::string("\x34\x12", 2);
    s += formatted_after_header;
    for (const std::string& text : strings)
        s += text + '\0';
    if (strings.empty())
        s += '\0';
    return s + '\0';
}

// A type-1 structure whose manufacturer is string number index.
std::string system_information(unsigned char index, const std::vector<std::string>& strings)
{
    return structure(1, std::string(1, static_cast<char>(index)) + std::string(22, '\0'), strings);
}

// The RSMB dump of the tables: 8-byte header with the table length.
std::string raw_dump(const std::string& tables, size_t stated_length)
{
    std::string raw("\0\x02\x08\0", 4);
    for (int i = 0; i < 4; ++i)
        raw += static_cast<char>((stated_length >> (8 * i)) & 0xFF);
    return raw + tables;
}
std::string raw_dump(const std::string& tables) { return raw_dump(tables, tables.size()); }

const std::string BIOS_INFO = structure(0, std::string(14, '\x01'), {"SeaBIOS", "1.16", "04/01/2014"});
const std::string END = structure(127, "", {});

TEST(Smbios, SystemManufacturerFromRawTables)
{
    const std::string qemu = system_information(1, {"QEMU", "Standard PC"});
    struct {
        const char* what;
        std::string raw;
        bool found;
        const char* manufacturer;
    } rows[] = {
        {"type 1 after other structures", raw_dump(BIOS_INFO + qemu + END), true, "QEMU"},
        {"second string", raw_dump(BIOS_INFO + system_information(2, {"x", "Bochs"}) + END), true, "Bochs"},
        {"Xen", raw_dump(system_information(1, {"Xen"}) + END), true, "Xen"},
        {"XenSource", raw_dump(system_information(1, {"XenSource"})), true, "XenSource"},
        // A string set cannot hold an empty string (two NULs end it): index 1 names none.
        {"empty string", raw_dump(system_information(1, {""}) + END), false, ""},
        {"first of two type-1 structures", raw_dump(qemu + system_information(1, {"Xen"})), true, "QEMU"},
        {"string index 0", raw_dump(system_information(0, {"QEMU"}) + END), false, ""},
        {"index past the strings", raw_dump(system_information(3, {"QEMU"}) + END), false, ""},
        {"no type 1", raw_dump(BIOS_INFO + END), false, ""},
        {"type 1 after the end marker", raw_dump(BIOS_INFO + END + qemu), false, ""},
        {"formatted part too short for the field", raw_dump(structure(1, "", {"QEMU"})), false, ""},
        {"truncated buffer", raw_dump(BIOS_INFO + qemu).substr(0, 8 + BIOS_INFO.size() + 10), false, ""},
        {"stated length ends before type 1", raw_dump(BIOS_INFO + qemu, BIOS_INFO.size() + 3), false, ""},
        {"stated length past the buffer", raw_dump(BIOS_INFO + qemu, 100000), true, "QEMU"},
        {"formatted length past the end", raw_dump(BIOS_INFO + std::string("\x01\xF0\x00\x01\x01", 5)), false, ""},
        {"no double NUL", raw_dump(BIOS_INFO + qemu.substr(0, qemu.size() - 1)), false, ""},
        {"formatted length below the header", raw_dump(std::string("\x01\x02\0\0\0\0", 6)), false, ""},
        {"header only", raw_dump(""), false, ""},
        {"shorter than the header", std::string("\0\x02\x08", 3), false, ""},
    };
    for (const auto& row : rows) {
        char out[256];
        memset(out, 'P', sizeof out);
        EXPECT_EQ(row.found, smbios_system_manufacturer(reinterpret_cast<const unsigned char*>(row.raw.data()),
                                                        row.raw.size(), out, sizeof out))
            << row.what;
        EXPECT_STREQ(row.manufacturer, out) << row.what;
    }
    // Cut to the capacity, still terminated.
    std::string raw = raw_dump(system_information(1, {"QEMU-long-name"}));
    char small[5];
    EXPECT_TRUE(smbios_system_manufacturer(reinterpret_cast<const unsigned char*>(raw.data()), raw.size(),
                                           small, sizeof small));
    EXPECT_STREQ("QEMU", small);
}

TEST(PlatformSource, KeyFirstThenFirmwareTableThenWmi)
{
    EXPECT_EQ(SOURCE_BIOS_KEY, choose_platform_source(ERROR_SUCCESS, true));
    EXPECT_EQ(SOURCE_BIOS_KEY, choose_platform_source(ERROR_ACCESS_DENIED, true));
    EXPECT_EQ(SOURCE_BIOS_KEY, choose_platform_source(ERROR_ACCESS_DENIED, false));
    EXPECT_EQ(SOURCE_FIRMWARE_TABLE, choose_platform_source(ERROR_FILE_NOT_FOUND, true));
    EXPECT_EQ(SOURCE_WMI, choose_platform_source(ERROR_FILE_NOT_FOUND, false));
}

TEST(PlatformSource, LogLineNamesWhatDecided)
{
    platform_record r = {};
    r.key_error = ERROR_FILE_NOT_FOUND;
    r.source = SOURCE_FIRMWARE_TABLE;
    r.read = true;
    strcpy(r.manufacturer, "QEMU");
    char line[400];
    describe_platform_record(r, line, sizeof line);
    EXPECT_STREQ("no BIOS key; manufacturer \"QEMU\" from the SMBIOS tables (GetSystemFirmwareTable): kvm", line);
    r.source = SOURCE_WMI;
    strcpy(r.manufacturer, "Xen HVM domU");
    describe_platform_record(r, line, sizeof line);
    EXPECT_STREQ("no BIOS key; manufacturer \"Xen HVM domU\" from WMI Win32_ComputerSystem: not kvm", line);
    r.read = false;
    r.manufacturer[0] = '\0';
    r.failure = WAIT_TIMEOUT;
    describe_platform_record(r, line, sizeof line);
    EXPECT_STREQ("no BIOS key; no manufacturer from WMI Win32_ComputerSystem (no answer within 90 s): not kvm", line);
    r.source = SOURCE_FIRMWARE_TABLE;
    r.failure = ERROR_NOT_FOUND;
    describe_platform_record(r, line, sizeof line);
    EXPECT_STREQ("no BIOS key; no manufacturer from the SMBIOS tables (GetSystemFirmwareTable) (error 0x490): not kvm",
                 line);
}

// The firmware as the in-process tests make it up.
std::string g_firmware;
int g_firmware_reads = 0;
UINT WINAPI made_up_firmware_table(DWORD, DWORD, void* buffer, DWORD size)
{
    ++g_firmware_reads;
    if (buffer && size >= g_firmware.size())
        memcpy(buffer, g_firmware.data(), g_firmware.size());
    return static_cast<UINT>(g_firmware.size());
}
firmware_table_fn with_made_up_table() { return made_up_firmware_table; }

class PlatformSourceChoice : public ::testing::Test {
protected:
    void SetUp() override { saved_ = look_up_firmware_table; look_up_firmware_table = with_made_up_table; }
    void TearDown() override
    {
        look_up_firmware_table = saved_;
        ts::set_manufacturer("QEMU");
    }
    void firmware_says(const std::string& manufacturer)
    {
        g_firmware = raw_dump(BIOS_INFO + system_information(1, {manufacturer}) + END);
        g_firmware_reads = 0;
    }
    firmware_table_lookup_fn saved_ = nullptr;
};

TEST_F(PlatformSourceChoice, KeyDecidesWhereItExists)
{
    firmware_says("QEMU");
    ts::set_manufacturer("Xen");
    EXPECT_FALSE(is_kvm_platform());
    ts::reg_delete_value(HKEY_LOCAL_MACHINE, BIOS, "SystemManufacturer");
    platform_record r = read_platform_record(true);
    EXPECT_EQ(SOURCE_BIOS_KEY, r.source);
    EXPECT_FALSE(platform_record_is_kvm(r));
    EXPECT_EQ(0, g_firmware_reads);
}

TEST_F(PlatformSourceChoice, FirmwareDecidesWhereTheKeyIsAbsent)
{
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, BIOS);
    struct {
        const char* manufacturer;
        bool kvm;
    } rows[] = {{"QEMU", true}, {"Xen HVM domU", false}, {"Bochs", true}, {"XenSource", false}};
    for (const auto& row : rows) {
        firmware_says(row.manufacturer);
        EXPECT_EQ(row.kvm, is_kvm_platform()) << row.manufacturer;
        EXPECT_EQ(1, key_open_failures());
        platform_record r = read_platform_record(false);
        EXPECT_EQ(SOURCE_FIRMWARE_TABLE, r.source);
        EXPECT_STREQ(row.manufacturer, r.manufacturer);
    }
    g_firmware = "\0\x02";
    EXPECT_FALSE(is_kvm_platform());
}

} // namespace
