// GBK <-> UTF-16 at the Windows API boundary, and the conversions of page bodies. Always code page
// 936 for GBK, whatever the system's ANSI code page, so Chinese texts show and read back the same
// on any Windows locale.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

constexpr unsigned kGbkCodePage = 936;
constexpr unsigned kUtf8CodePage = 65001;  // CP_UTF8

// The UTF-16 units of `bytes` read in `codePage`; empty when they do not convert.
std::wstring WideFromCodePage(unsigned codePage, std::string_view bytes);
// The bytes of `wide` in `codePage` (WideCharToMultiByte with `flags`), embedded zeros kept;
// empty when it does not convert.
std::string WideToCodePage(unsigned codePage, std::wstring_view wide, unsigned long flags = 0);

std::wstring GbkToWide(std::string_view gbk);
// A Text holds no zero byte: an embedded U+0000 ends it.
Text WideToGbk(std::wstring_view wide);
