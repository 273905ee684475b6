#include <gtest/gtest.h>

#include <cerrno>

#include "support/file_exception_text.h"

TEST(FileExceptionTextTest, CauseTextsAreExact) {
    EXPECT_EQ(GetFileErrorText(0), "No error occurred.");
    EXPECT_EQ(GetFileErrorText(4), "The permitted number of open files was\texceeded.");
    EXPECT_EQ(GetFileErrorText(6), "The was an attempt to use an invalid file handle.");
    EXPECT_EQ(GetFileErrorText(14), "The end of file was reached.");
    EXPECT_EQ(GetFileErrorText(15), "");
    EXPECT_EQ(GetFileErrorText(-1), "");
}

TEST(FileExceptionTextTest, CausesFromErrnoAndWindowsNumbers) {
    EXPECT_EQ(CFileException::CauseFromErrno(ENOENT), CFileException::fileNotFound);
    EXPECT_EQ(CFileException::CauseFromErrno(EACCES), CFileException::accessDenied);
    EXPECT_EQ(CFileException::CauseFromErrno(ENOSPC), CFileException::diskFull);
    EXPECT_EQ(CFileException::CauseFromWindowsError(5), CFileException::accessDenied);
    EXPECT_EQ(CFileException::CauseFromWindowsError(9999), CFileException::genericException);
    CFileException e(CFileException::diskFull, 112, "/x");
    EXPECT_EQ(e.GetErrorMessage(), "The disk is full.");
    EXPECT_STREQ(e.GetTypeName(), "CFileException");
}
