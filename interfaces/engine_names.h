// The names by which ksml, tsexec and the tests find the engine: its service, the event
// that ends it, and its window (the Windows 95 road). The request socket's path is
// platform::RequestSocketPath.
#pragma once

inline constexpr const char* kEngineServiceName = "Brendlow Tessaro 2.0";
inline constexpr const char* kTerminationEventName = "TSTerminationEvent20";
inline constexpr const char* kEngineWindowClass = "TessaroWClass20";
inline constexpr const char* kEngineWindowTitle = "Tessaro 2.0";
