// What the name an upload is saved under may be: no control character, and a name that
// the web server would run as a template only when the tag asked for templates.
#pragma once

#include <string>

// True for a byte below 32, DEL, or a C1 control written in UTF-8 (U+0080 to U+009F).
bool HasControlCharacter(const std::string& name);

// True when the name ends in ".tsm" or ".ksm" (any case) once every trailing dot and every
// kind of white space after it is taken away: blanks, tabs, line ends, vertical tabs, form
// feeds, no-break and other Unicode spaces (in UTF-8 or as a single Latin-1 byte).
bool NamesATemplate(const std::string& name);
