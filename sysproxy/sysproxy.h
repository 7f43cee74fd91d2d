// The system proxy switch: the per-user Internet Settings that WinInet and the browser read.
#pragma once

#include "text/text.h"

// Sets (enable true) or cancels the per-user proxy and announces the change to WinInet.
// Returns a status text.
Text SetIeProxy(const Text& proxyAddress, bool enable, const Text& bypassList = {});
// Click handlers of 按钮2 (设置HTTP代理) and 按钮3 (取消代理), on the UI thread.
void OnSetProxyButtonClick();
void OnCancelProxyButtonClick();
