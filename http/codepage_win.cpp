// UTF-8 to UTF-16LE and GBK through the system's code page tables.
#include "http/codepage.h"

#include <windows.h>

namespace {
constexpr UINT kGbkCodePage = 936;  // fixed: the body must come out GBK on any Windows locale
}

Bytes Utf8ToUtf16(const Bytes& bytes) {
    if (bytes.empty()) return {};
    const auto* src = reinterpret_cast<const char*>(bytes.data());
    const int srcLength = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, src, srcLength, nullptr, 0);
    if (units <= 0) return {};
    Bytes out(static_cast<std::size_t>(units) * 2, 0);
    MultiByteToWideChar(CP_UTF8, 0, src, srcLength, reinterpret_cast<wchar_t*>(out.data()), units);
    return out;
}

Bytes Utf8ToGbk(const Bytes& bytes) {
    const Bytes wide = Utf8ToUtf16(bytes);
    if (wide.empty()) return {};
    const auto* src = reinterpret_cast<const wchar_t*>(wide.data());
    const int units = static_cast<int>(wide.size() / 2);
    const int m = WideCharToMultiByte(kGbkCodePage, WC_COMPOSITECHECK, src, units, nullptr, 0, nullptr, nullptr);
    if (m <= 0) return {};
    Bytes out(static_cast<std::size_t>(m), 0);
    WideCharToMultiByte(kGbkCodePage, WC_COMPOSITECHECK, src, units, reinterpret_cast<char*>(out.data()), m, nullptr,
                        nullptr);
    return out;
}
