// The fatal error box texts (GBK) and TextArray indexing.
#include <gtest/gtest.h>

#include <string>

#include "text/fatal.h"
#include "text/text.h"

namespace {

TEST(FatalMessage, IndexBelowOneBoxText) {
    // "运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n"
    const std::string want =
        "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n"
        "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA"
        "4\r\n\r\n"
        "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"
        "\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB1\xD8\xD0\xEB\xB4\xF3\xD3\xDA\xB5\xC8\xD3"
        "\xDA"
        "1\r\n";
    EXPECT_EQ(FatalMessageText(kFatalIndexBelowOne, kFatalIndexBelowOneMessage), want);
}

TEST(FatalMessage, IndexBeyondEndBoxText) {
    // "运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n"
    const std::string want =
        "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n"
        "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA"
        "1\r\n\r\n"
        "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"
        "\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB3\xAC\xB3\xF6\xB6\xA8\xD2\xE5\xB7\xB6\xCE"
        "\xA7"
        "\r\n";
    EXPECT_EQ(FatalMessageText(kFatalIndexBeyondEnd, kFatalIndexBeyondEndMessage), want);
}

TEST(FatalMessage, AllocationFailureBoxTextHasNoCodePart) {
    // "运行时出错!\r\n\r\n错误信息：分配 1048576 字节内存失败!\r\n"
    const std::string want =
        "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n"
        "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"
        "\xB7\xD6\xC5\xE4 1048576 \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!\r\n";
    EXPECT_EQ(FatalMessageText(std::nullopt, AllocationFailureMessage(1048576)), want);
}

TEST(TextArray, AppendCountAndValidItems) {
    TextArray a;
    EXPECT_EQ(ArrayCount(a), 0);
    ArrayAppend(a, "one");
    std::string second = "two";
    ArrayAppend(a, second);
    second = "changed";  // the array keeps its own copy
    ArrayAppend(a, "");
    ASSERT_EQ(ArrayCount(a), 3);
    EXPECT_EQ(ArrayItem(a, 1), "one");
    EXPECT_EQ(ArrayItem(a, 2), "two");
    EXPECT_EQ(ArrayItem(a, 3), "");
}

#ifndef _WIN32
// Natively the fatal error prints the box text to stderr and exits with -1 (255 as seen by the
// parent). The box text matches only ASCII here because the regex engine reads bytes.
TEST(TextArrayDeathTest, IndexOutOfRangeIsFatal) {
    TextArray a;
    ArrayAppend(a, "x");
    EXPECT_EXIT(ArrayItem(a, 0), testing::ExitedWithCode(255), "4\r\n");
    EXPECT_EXIT(ArrayItem(a, -3), testing::ExitedWithCode(255), "4\r\n");
    EXPECT_EXIT(ArrayItem(a, 2), testing::ExitedWithCode(255), "1\r\n");
}
#endif

}  // namespace
