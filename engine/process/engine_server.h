// Server initialisation and shutdown of tsengine.
#pragma once

#include <string>

class CServerSettings;

// Allocator, dispatcher set-up, subsystems; false with the error text.
// mailFailed (optional) tells the caller that the mail spooler could not be built.
bool InitializeServer(long* ignored, std::string& errorText, bool serviceFlag, bool* mailFailed = nullptr);
// Throws as the subsystems fail; false when the mail spooler cannot be built
// (its line is already in the SERVER log).
bool StartSubsystems(CServerSettings* settings, bool serviceFlag);
void ShutdownServer();
void StopSubsystems();
// Server\ServiceRunning = "1" or "0".
void SetServiceRunning(bool running);
