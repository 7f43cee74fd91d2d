// The probe's process-wide state, shared by the probe thread and the UI thread (all 0 at start).
// Internal to the probe: only probe_win.cpp and the probe's own tests include this.
//
// ReplyTick is stored before ReplyArrived is released and read only after ReplyArrived was
// acquired; SendTick belongs to the probe thread.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<std::int32_t> ProbeBusy;
extern std::atomic<std::int32_t> SendTick;
extern std::atomic<std::int32_t> ReplyTick;
extern std::atomic<std::int32_t> ReplyArrived;
