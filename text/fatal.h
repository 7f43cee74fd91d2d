// The fatal run-time error: a modal box titled "错误" (GBK) with the error text, then the
// process exits with code -1, whichever thread hit the error.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "text/text.h"

// Codes and messages of the index errors of TextArray.
constexpr int kFatalIndexBelowOne = 4;
constexpr int kFatalIndexBeyondEnd = 1;
// 数组成员引用下标必须大于等于1
constexpr std::string_view kFatalIndexBelowOneMessage =
    "\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB1\xD8\xD0\xEB\xB4\xF3\xD3\xDA\xB5\xC8\xD3\xDA"
    "1";
// 数组成员引用下标超出定义范围
constexpr std::string_view kFatalIndexBeyondEndMessage =
    "\xCA\xFD\xD7\xE9\xB3\xC9\xD4\xB1\xD2\xFD\xD3\xC3\xCF\xC2\xB1\xEA\xB3\xAC\xB3\xF6\xB6\xA8\xD2\xE5\xB7\xB6\xCE\xA7";

// The box text (GBK): "运行时出错!\r\n\r\n" [+ "错误代码：" code "\r\n\r\n"] + "错误信息：" message "\r\n".
Text FatalMessageText(std::optional<int> code, std::string_view message);
// The message of a failed allocation: "分配 <bytes> 字节内存失败!".
Text AllocationFailureMessage(std::size_t bytes);

// Shows the box and ends the process with exit code -1. Never returns. The box is the
// platform's part (fatal_win.cpp); the native build prints the text and exits instead.
[[noreturn]] void FatalError(std::optional<int> code, std::string_view message);
// An element index outside 1..count: code 4 below 1, code 1 beyond the count.
[[noreturn]] void FatalIndexError(int index);
[[noreturn]] void FatalAllocationError(std::size_t bytes);
