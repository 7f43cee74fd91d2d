#include "text/wide.h"

#include <windows.h>

std::wstring WideFromCodePage(unsigned codePage, std::string_view bytes) {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), n);
    return out;
}

std::string WideToCodePage(unsigned codePage, std::wstring_view wide, unsigned long flags) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring GbkToWide(std::string_view gbk) { return WideFromCodePage(kGbkCodePage, gbk); }

Text WideToGbk(std::wstring_view wide) {
    Text out = WideToCodePage(kGbkCodePage, wide);
    if (const std::size_t zero = out.find('\0'); zero != Text::npos) out.resize(zero);
    return out;
}
