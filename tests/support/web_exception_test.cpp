#include <gtest/gtest.h>

#include <memory>

#include "support/server_settings.h"
#include "support/web_exception.h"

TEST(WebExceptionTest, MessageAndDetailEachGetAParagraphMark) {
    CWebException e("Invalid action specified.", "detail", "");
    EXPECT_EQ(e.GetMessage(), "Invalid action specified.<P>");
    EXPECT_EQ(e.GetDetail(), "detail<P>");
    EXPECT_EQ(e.GetPageText(), "");
    EXPECT_EQ(e.GetErrorMessage(), "Invalid action specified.<P> detail<P>");
    e.AppendDetail("y");
    EXPECT_EQ(e.GetDetail(), "detail<P>y<P>");
}

TEST(WebExceptionTest, EmptyTextsShowSevenCharacters) {
    CWebException e("", "");
    EXPECT_EQ(e.GetErrorMessage(), "<P> <P>");
}

TEST(WebExceptionTest, TypeNamesAndCatchingByPointer) {
    try {
        throw new CWebODBCException("Database error", "SQLSTATE 42000");
    } catch (CWebException* e) {
        std::unique_ptr<CException> owner(e);
        EXPECT_STREQ(e->GetTypeName(), "CWebODBCException");
        EXPECT_EQ(e->GetPageText(), "");
        EXPECT_EQ(e->GetDetail(), "SQLSTATE 42000<P>");
    }
    CWebException plain("m", "d", "<html>page</html>");
    EXPECT_STREQ(plain.GetTypeName(), "CWebException");
    EXPECT_EQ(plain.GetPageText(), "<html>page</html>");
}

TEST(ServerSettingsTest, WithoutRegistrySettingsDefaultsAreReturned) {
    CServerSettings settings(nullptr);
    EXPECT_EQ(settings.GetString("Server", "X", "d"), "d");
    EXPECT_EQ(settings.GetNumber("Server", "X", 9), 9);
    EXPECT_EQ(settings.GetRegistrySettings(), nullptr);
}
