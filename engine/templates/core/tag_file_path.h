// The path rule of the files a tag names for the reply or the disk (TSCONTENT FILE and
// every path of TSFILE), before the file is looked for.
#pragma once

#include <string>

#include "support/web_message.h"

// Throws CWebException* with title when path holds a zero byte, "..", "//" or two
// backslashes.
void CheckTagFilePath(const std::string& path, const CWebMessage& title);
