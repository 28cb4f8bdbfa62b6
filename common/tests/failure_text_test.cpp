// The line both programs log for a failed call.
#include "failure_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FailureText, NamesCallObjectAndError)
{
    char text[FAILURE_TEXT_CAPACITY];
    format_failure(text, sizeof text, "OpenServiceA", "sen-drik", 1060);
    EXPECT_STREQ("OpenServiceA \"sen-drik\" failed (1060)", text);
    // Errors are unsigned: a registry code and an NTSTATUS-like value alike.
    format_failure(text, sizeof text, "RegSetValueExA", "a\\b", 0xC0000022UL);
    EXPECT_STREQ("RegSetValueExA \"a\\b\" failed (3221225506)", text);
}

TEST(FailureText, LongestCommandLineFits)
{
    char text[FAILURE_TEXT_CAPACITY];
    const std::string command(259, 'c');
    format_failure(text, sizeof text, "CreateProcessA", command.c_str(), 4294967295UL);
    EXPECT_EQ("CreateProcessA \"" + command + "\" failed (4294967295)", std::string(text));
}

} // namespace
