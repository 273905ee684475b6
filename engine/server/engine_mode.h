// How tsengine runs: as the installed service or in the foreground, and whether the
// Windows 95 road is emulated; the names others find the engine by.
#pragma once

#include "engine/server/engine_switches.h"
#include "interfaces/engine_names.h"

// The Windows 95 road is emulated when TESSARO_WIN95=1 (window-message intake,
// no request socket, no service manager).
bool IsWindows95();

// Desktop mode for -DEBUG/-DESKTOP and on the Windows 95 road; else service mode. It only
// asks: the desktop start-up of -DEBUG/-DESKTOP stops the installed engine service itself.
bool IsServiceMode(const EngineSwitches& switches);

// The engine window's mail timer.
inline constexpr unsigned kMailTimerId = 14;
