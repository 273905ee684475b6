// engine <-> tsreports: the report server's window and the two messages it takes. The
// engine finds the window by its title (starting tsreports when there is none), sends
// WM_DOREPORT as a WM_COPYDATA whose data names the request folder (the result is 1 once
// the response files are written), and at shutdown sends WM_CLOSEREPORTSERVER once.
#pragma once

#include <cstdint>

namespace tessaro::interfaces {

inline constexpr const char* kReportServerWindow = "TS_CrystalServer";
// WM_USER + 150 and WM_USER + 151; neither carries parameters.
inline constexpr std::uint32_t WM_DOREPORT = 0x0400 + 150;
inline constexpr std::uint32_t WM_CLOSEREPORTSERVER = 0x0400 + 151;

}  // namespace tessaro::interfaces
