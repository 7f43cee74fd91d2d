// The texts of the fatal run-time error box (GBK). Showing the box and ending the process is
// platform code; this file only builds the texts, so they can be checked anywhere.
#include <string>

#include "text/fatal.h"

namespace {

// "运行时出错!" + "\r\n\r\n"
constexpr std::string_view kHeading = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n";
// "错误代码："  (full-width colon A3 BA)
constexpr std::string_view kCodeLabel = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";
// "错误信息："  (full-width colon A3 BA)
constexpr std::string_view kMessageLabel = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";
// "分配 "
constexpr std::string_view kAllocPrefix = "\xB7\xD6\xC5\xE4 ";
// " 字节内存失败!"
constexpr std::string_view kAllocSuffix = " \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";

}  // namespace

Text FatalMessageText(std::optional<int> code, std::string_view message) {
    Text out(kHeading);
    if (code) {
        out.append(kCodeLabel);
        out.append(std::to_string(*code));
        out.append("\r\n\r\n");
    }
    out.append(kMessageLabel);
    out.append(message);
    out.append("\r\n");
    return out;
}

// The byte count is printed in full as an unsigned decimal number.
Text AllocationFailureMessage(std::size_t bytes) {
    Text out(kAllocPrefix);
    out.append(std::to_string(bytes));
    out.append(kAllocSuffix);
    return out;
}
