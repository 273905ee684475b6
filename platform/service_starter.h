// The service manager's starter (the program tsstart): see service_starter.cpp. It is built
// into tsstart on its own, with no library, since it runs set-user-id root.
#pragma once

namespace tessaro::platform {

// Starts the service named by argv[1] as the account that owns this copy's runtime root;
// returns the exit status.
int RunServiceStarter(int argc, char** argv);

}  // namespace tessaro::platform
