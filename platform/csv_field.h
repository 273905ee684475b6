// Quoted CSV fields of the system's log lines: "a","b""c".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaro::platform {

// A field body: embedded quotes doubled, CR and LF turned into blanks, so a text
// can neither end its field nor start a line of its own.
std::string EscapeCsvField(std::string_view text);

// Splits one line of quoted CSV fields ("a","b""c") into its fields.
std::vector<std::string> SplitQuotedCsvLine(const std::string& line);

}  // namespace tessaro::platform
