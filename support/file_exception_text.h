// The framework's file-exception cause texts (0-14).
#pragma once

#include <string>

#include "platform/framework_exception.h"

// Same table as GetFileExceptionText, under the name the other programs use.
inline std::string GetFileErrorText(int cause) {
    return GetFileExceptionText(cause);
}
