// UTF-8 page bodies to UTF-16LE and to GBK (code page 936, whatever the system's ANSI code page).
// Windows only: the conversion is the system's own (MultiByteToWideChar / WideCharToMultiByte).
#pragma once

#include "text/text.h"

// The UTF-16LE units of the UTF-8 bytes, 2 bytes each, without terminator.
Bytes Utf8ToUtf16(const Bytes& bytes);
// The UTF-8 bytes in code page 936, without terminator.
Bytes Utf8ToGbk(const Bytes& bytes);
