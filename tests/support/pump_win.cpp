#include "tests/support/pump_win.h"

#include <atomic>
#include <chrono>
#include <thread>

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        // Bounded, so a flood of notifications cannot keep the check below from running.
        for (int i = 0; i < 200 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (timeoutMs != INFINITE && GetTickCount() - start > timeoutMs) return done();
        MsgWaitForMultipleObjectsEx(0, nullptr, 2, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

double RunWhilePumping(const std::function<void()>& work) {
    const DWORD pumpThread = GetCurrentThreadId();
    std::atomic<bool> finished{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread worker([&] {
        work();
        finished = true;
        PostThreadMessageW(pumpThread, WM_NULL, 0, 0);  // wake the pump
    });
    PumpUntil([&] { return finished.load(); }, INFINITE);
    const auto end = std::chrono::steady_clock::now();
    worker.join();
    return std::chrono::duration<double, std::milli>(end - start).count();
}
