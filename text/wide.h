// GBK <-> UTF-16 at the Windows API boundary. Always code page 936, whatever the system's
// ANSI code page, so Chinese texts show and read back the same on any Windows locale.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

std::wstring GbkToWide(std::string_view gbk);
Text WideToGbk(std::wstring_view wide);
