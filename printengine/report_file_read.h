// The files a report names (its definition, the table file of its rows, its picture) as the
// print engine reads them: opened once and judged by the gate every file a template names
// passes, so a folder of the path swapped for a link between the engine's check and this
// read reaches no private file.
#pragma once

#include <string>

namespace tessaro::print {

// The whole file; false when it cannot be opened, is no plain file or is private.
bool ReadReportFile(const std::string& path, std::string* bytes);

}  // namespace tessaro::print
