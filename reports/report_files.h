// Where the engine and the report server exchange a report: a folder private to the runtime
// root ($TESSARO_HOME/tmp/tsr, mode 0700) and below it one freshly named folder per request
// holding REQUEST.DAT, RESPONSE.INI, ERROR.TXT and REPORT.HTM.
#pragma once

#include <string>

namespace tessaro::reports {

inline constexpr const char* kRequestFile = "REQUEST.DAT";
inline constexpr const char* kResponseFile = "RESPONSE.INI";
inline constexpr const char* kErrorFile = "ERROR.TXT";
inline constexpr const char* kOutputFile = "REPORT.HTM";

// The work folder, made private on first use; 0 or a Windows error number in *error. A
// folder that cannot be made is logged (REPORTS) with its Windows error number.
std::string ReportWorkDirectory(long* error = nullptr);

// A new request folder below the work folder, private and named unguessably; empty with a
// Windows error number in *error when it cannot be made.
std::string CreateRequestFolder(long* error);
// Removes a request folder and the four files it may hold.
void RemoveRequestFolder(const std::string& folder);
// Whether folder is a request folder below the work folder (what the report server accepts).
bool IsRequestFolder(const std::string& folder);

// The folder GetGraphic serves from ($TESSARO_HOME/tsr, private to the engine's user).
std::string GraphicFolder(long* error = nullptr);
// Moves each picture the print engine left beside the report's page (a relative SRC="name"
// naming a file of the request folder) into the graphic folder under a fresh unguessable
// name, readable by this user only, and points the page's links at the new names. False
// with a reason when a picture cannot be moved.
bool PublishReportPictures(const std::string& folder, std::string* error);

}  // namespace tessaro::reports
