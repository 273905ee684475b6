#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "engine/server/current_exception.h"
#include "support/registry.h"
#include "support/web_exception.h"
#include "platform/framework_exception.h"

namespace {

class COtherException : public CException {
public:
    std::string GetErrorMessage() const override { return "not shown"; }
};

struct Case {
    const char* name;
    std::function<void()> raise;
    ExceptionReport expected;
};

// Runs under the sanitizers too: every pointer thrown must be deleted by the helper.
TEST(CurrentExceptionTest, EachKindOfFailureGetsItsTitleAndDetail) {
    const std::string fileText = GetFileExceptionText(CFileException::fileNotFound);
    const std::string registryText = CRegistryException(5).GetErrorMessage();
    const Case cases[] = {
        {"web",
         [] { throw new CWebException("Bad request", "why", "<html>own page</html>"); },
         {"CWebException", "Bad request<P> why<P>", "<html>own page</html>"}},
        {"odbc",
         [] { throw new CWebODBCException("Database error", "SQLSTATE 42000"); },
         {"CWebODBCException", "Database error<P> SQLSTATE 42000<P>", ""}},
        {"memory", [] { throw new CMemoryException(); }, {"CMemoryException", "Memory access violation occurred.", ""}},
        {"file", [] { throw new CFileException(CFileException::fileNotFound); }, {"CFileException", fileText, ""}},
        {"registry", [] { throw new CRegistryException(5); }, {"CRegistryException", registryText, ""}},
        {"other framework", [] { throw new COtherException(); }, {"CException", "", ""}},
        {"bad_alloc", [] { throw std::bad_alloc(); }, {"CMemoryException", "Memory access violation occurred.", ""}},
        {"anything else", [] { throw std::runtime_error("x"); }, {"Unknown exception", "", ""}},
    };
    for (const Case& c : cases) {
        ExceptionReport report;
        try {
            c.raise();
        } catch (...) {
            report = DescribeCurrentException();
        }
        EXPECT_EQ(report.title, c.expected.title) << c.name;
        EXPECT_EQ(report.detail, c.expected.detail) << c.name;
        EXPECT_EQ(report.pageText, c.expected.pageText) << c.name;
    }
}

}  // namespace
