// Message pumping on the calling (UI) thread, so that the list operations other threads send to
// a window of this thread, and the notifications of its sockets, are carried out meanwhile.
#pragma once

#include <windows.h>

#include <functional>

// Dispatches this thread's messages until `done` holds or `timeoutMs` passed (INFINITE: no
// limit); returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);
// Runs `work` on a new thread while this thread keeps dispatching; returns its wall time in ms.
double RunWhilePumping(const std::function<void()>& work);
