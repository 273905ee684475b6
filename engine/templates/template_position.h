// The block that names where in a template an error is ("The error occurred on (or near)
// line 3 of the template file ...", then the lines before it).
#pragma once

#include <string>

inline constexpr const char* kTemplatePositionStart = "The error occurred on (or near) line ";

// True when the text already holds such a block.
inline bool NamesTemplatePosition(const std::string& text) {
    return text.find(kTemplatePositionStart) != std::string::npos;
}
