// Process-wide state of tsengine shared by its threads.
#pragma once

#include <atomic>
#include <string>

#include "interfaces/engine_names.h"

namespace tessaro::platform {
class ManualResetEvent;
}

// 1 while new requests are taken; cleared once at shutdown.
std::atomic<int>& ListeningFlag();

// The Windows 95 road is emulated when TESSARO_WIN95=1 (window-message intake,
// no request socket, no service manager).
bool IsWindows95();

// Records whether -DEBUG or -DESKTOP was given; IsServiceMode reads it.
void SetDesktopRequested(bool desktop);
// Desktop mode for -DEBUG/-DESKTOP (which first stop the installed engine
// service) and on the Windows 95 road; else service mode. Decided once.
bool IsServiceMode();

// The main termination event of desktop mode (null in service mode).
void SetMainTerminationEvent(tessaro::platform::ManualResetEvent* event);
tessaro::platform::ManualResetEvent* GetMainTerminationEvent();

// Names of the engine others find it by (service, termination event, window), and the
// report server's window.
inline constexpr const char* kReportServerTitle = "TS_CrystalServer";
inline constexpr unsigned kMailTimerId = 14;
inline constexpr unsigned kMailTimerPeriodMs = 180000;
