#include "playback/playback.h"

#include <gtest/gtest.h>

namespace zf::playback {
namespace {

struct NumberCase {
    const char* text;
    std::optional<int32_t> expected;
};

TEST(NumberRule, AcceptsDecimalHexadecimalAndSigns)
{
    const NumberCase cases[] = {
        {"7", 7},
        {" 7", 7},
        {"   -12", -12},
        {"+5", 5},
        {"$10", 16},
        {"x1f", 31},
        {"X1F", 31},
        {"0x10", 16},
        {"0XfF", 255},
        {"-$10", -16},
        {"0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", int32_t(-2147483647 - 1)},
        {"$7FFFFFFF", 2147483647},
    };
    for (const NumberCase& item : cases) {
        EXPECT_EQ(parseFrameNumber(QString::fromUtf8(item.text)), item.expected) << item.text;
    }
}

TEST(NumberRule, RejectsEverythingElse)
{
    const char* cases[] = {
        "",
        " ",
        "abc",
        "7 ",
        "7a",
        "$",
        "0x",
        "x",
        "-",
        "+-1",
        "1.5",
        "2147483648",
        "-2147483649",
        "$80000000",
        "$FFFFFFFF",
        "99999999999999999999",
        "\t7",
        "00x1",
        "$-1",
        "１２",
    };
    for (const char* text : cases) {
        EXPECT_EQ(parseFrameNumber(QString::fromUtf8(text)), std::nullopt) << text;
    }
}

} // namespace
} // namespace zf::playback
