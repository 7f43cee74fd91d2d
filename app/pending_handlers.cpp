// PLACEHOLDERS until the probe and proxy-switch modules land: empty handlers so the window links
// without them. This file is compiled only when the targets `probe` / `sysproxy` do not exist,
// and is removed at integration.
#include "probe/probe.h"
#include "sysproxy/sysproxy.h"

#ifndef PROXYTOOL_HAVE_PROBE
void CreateProbeClient() {}
void OnProxyListClick() {}
#endif

#ifndef PROXYTOOL_HAVE_SYSPROXY
void OnSetProxyButtonClick() {}
void OnCancelProxyButtonClick() {}
#endif
