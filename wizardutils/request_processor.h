// One run of tsutils: every request of the file is answered into the same file.
#pragma once

#include <string>

class odbcENV;

namespace tessaro::wizardutils {

// Answers each entry of [Requests]: <key>_Results, [Messages] and [Responses]. A missing
// file or an empty [Requests] writes nothing. Returns the number of requests answered.
int ProcessRequestFile(const std::string& path, odbcENV& env);

}  // namespace tessaro::wizardutils
