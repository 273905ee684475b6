// What the request road tells the client and the log about a failed request:
// the title, detail and (for an application's own error page) page text of the
// exception being handled.
#pragma once

#include <string>

struct ExceptionReport {
    std::string title;
    std::string detail;
    std::string pageText;
    int httpStatus = 500;
};

// Call only inside a catch block. The engine throws its exceptions by pointer
// and the catcher owns them, so the exception is deleted here.
ExceptionReport DescribeCurrentException();
