// The engine process from its switches to its exit status: install or remove the service,
// or run as a desktop program or under the service manager.
#pragma once

#include "engine/server/engine_switches.h"

// The process's exit status: 1 when the mail spooler could not be built, else 0 (failures
// are logged). A worker still running at the end makes the process end at once.
int RunEngine(const EngineSwitches& switches);
