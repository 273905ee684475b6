// The completion pages' rich text shown as HTML: paragraphs, bold, italic, groups and
// "\'hh" characters (Windows-1252); other control words and the font table are dropped.
#pragma once

#include <string>

namespace tessaro::wizards {

std::string RtfToHtml(const std::string& rtf);

}  // namespace tessaro::wizards
