#include "text/wide.h"

#include <windows.h>

namespace {
constexpr UINT kGbk = 936;
}

std::wstring GbkToWide(std::string_view gbk) {
    if (gbk.empty()) return {};
    const int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

Text WideToGbk(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    Text out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    // A Text holds no zero byte: an embedded U+0000 ends it.
    if (const std::size_t zero = out.find('\0'); zero != Text::npos) out.resize(zero);
    return out;
}
