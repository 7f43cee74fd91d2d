// UTF-8 to UTF-16LE and GBK through the system's code page tables (text/wide.h).
#include "http/codepage.h"

#include <windows.h>

#include <cstring>

#include "text/wide.h"

namespace {

std::string_view AsChars(const Bytes& bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }

}  // namespace

Bytes Utf8ToUtf16(const Bytes& bytes) {
    const std::wstring wide = WideFromCodePage(kUtf8CodePage, AsChars(bytes));
    Bytes out(wide.size() * 2);
    if (!wide.empty()) std::memcpy(out.data(), wide.data(), out.size());
    return out;
}

Bytes Utf8ToGbk(const Bytes& bytes) {
    // Zero bytes of the body stay: the result is Bytes, not Text.
    const std::string gbk =
        WideToCodePage(kGbkCodePage, WideFromCodePage(kUtf8CodePage, AsChars(bytes)), WC_COMPOSITECHECK);
    return Bytes(gbk.begin(), gbk.end());
}
