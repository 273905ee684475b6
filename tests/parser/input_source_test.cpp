#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/parser/ss_file_input_source.h"
#include "engine/parser/ss_input_source.h"
#include "tests/common/temp_home.h"

namespace {

std::vector<std::uint32_t> readAll(SSInputSource& source) {
    std::vector<std::uint32_t> read;
    while (source.read()) read.push_back(source.current());
    return read;
}

std::string bytesOf(const std::vector<std::uint32_t>& characters) {
    std::string out;
    for (std::uint32_t c : characters) {
        if (c != 0xFFFFFFFF) out.push_back(static_cast<char>(c));
    }
    return out;
}

TEST(SSInputSourceTest, FirstReadDeliversStartOfInputThenTheText) {
    SSStringInputSource source("ab");
    std::vector<std::uint32_t> read = readAll(source);
    EXPECT_EQ(read, (std::vector<std::uint32_t>{0xFFFFFFFF, 'a', 'b'}));
    EXPECT_FALSE(source.read());
}

TEST(SSInputSourceTest, EmptyTextDeliversNothing) {
    SSStringInputSource source("");
    EXPECT_FALSE(source.read());
}

TEST(SSInputSourceTest, WideSourceHonoursTheByteOrderMark) {
    const std::string bigEndian("\xFE\xFF\x00\x41", 4);
    const std::string littleEndian("\xFF\xFE\x41\x00", 4);
    const std::string noMark("\x41\x00\x42\x00", 4);
    for (const std::string& bytes : {bigEndian, littleEndian}) {
        SSStringInputSource source(bytes.data(), bytes.size(), SSInputWide);
        EXPECT_EQ(readAll(source), (std::vector<std::uint32_t>{0xFFFFFFFF, 0x41}));
    }
    SSStringInputSource plain(noMark.data(), noMark.size(), SSInputWide);
    EXPECT_EQ(readAll(plain), (std::vector<std::uint32_t>{0xFFFFFFFF, 0x41, 0x42}));
}

TEST(SSInputSourceTest, LexemesCarryLineAndOffset) {
    SSStringInputSource source("ab\n\ncd");
    source.read();  // start of input: no position change
    source.read();
    source.read();
    SSRefPtr<SSToken> first = source.makeToken();
    EXPECT_EQ(first->view(), "ab");
    EXPECT_EQ(first->line(), 0);
    EXPECT_EQ(first->offset(), 0);
    source.read();
    source.read();
    source.makeToken();
    source.read();
    SSRefPtr<SSToken> last = source.makeToken();
    EXPECT_EQ(last->view(), "c");
    EXPECT_EQ(last->line(), 3);
    EXPECT_EQ(last->offset(), 1);
}

TEST(SSInputSourceTest, AcceptTokenRewindsToTheAcceptPosition) {
    SSStringInputSource source("abcd");
    source.read();
    source.read();
    source.read();
    SSAcceptPosition accept = source.acceptPosition();  // after "ab"
    source.read();
    SSRefPtr<SSToken> token = source.acceptToken(7, accept);
    EXPECT_EQ(token->token(), 7u);
    EXPECT_EQ(token->view(), "ab");
    ASSERT_TRUE(source.read());
    EXPECT_EQ(source.current(), static_cast<std::uint32_t>('c'));
}

class FileSourceTest : public ::testing::Test {
protected:
    tessaro::test::TempFolder dir;
};

TEST_F(FileSourceTest, TextModeDropsCarriageReturnBeforeLineFeedOnly) {
    std::string file = dir.write("t.tsm", "a\r\nb\rc\r\n\r\n");
    SSFileInputSource source(file.c_str());
    EXPECT_EQ(bytesOf(readAll(source)), "a\nb\rc\n\n");
}

TEST_F(FileSourceTest, BinaryModeKeepsEveryByte) {
    std::string file = dir.write("t.bin", "a\r\nb");
    SSFileInputSource source(file.c_str(), SSInputBytes);
    EXPECT_EQ(bytesOf(readAll(source)), "a\r\nb");
}

TEST_F(FileSourceTest, CarriageReturnAtABufferBoundaryIsJudgedWithTheNextByte) {
    // A 3-byte buffer that grows: the CR of "ab\r\n" ends the first read.
    std::string text = "ab\r\ncd\r\re\r";
    std::string file = dir.write("t.tsm", text);
    for (std::uint64_t size = 1; size <= text.size(); ++size) {
        SSFileInputSource source(file.c_str(), SSInputText, size, 2);
        std::string read;
        while (source.read()) {
            if (source.current() != 0xFFFFFFFF) read.push_back(static_cast<char>(source.current()));
            source.skipToPosition();  // consumed: lets the buffer compact
        }
        EXPECT_EQ(read, "ab\ncd\r\re\r") << "buffer " << size;
    }
}

TEST_F(FileSourceTest, OpenFailureRaisesCode1) {
    std::string missing = dir.path() + "/none.tsm";
    try {
        SSFileInputSource source(missing.c_str());
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 1u);
        EXPECT_EQ(std::string(e.text), "SSLex0101e: Error opening file, " + missing + ", 2");
    }
}

// A folder opens for reading on Linux and reports an enormous length; it must not be
// taken for a file of that size.
TEST_F(FileSourceTest, FolderIsRefusedAsAnOpenFailure) {
    try {
        SSFileInputSource source(dir.path().c_str());
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 1u);
        EXPECT_EQ(std::string(e.text), "SSLex0101e: Error opening file, " + dir.path() + ", 21");
    }
}

TEST_F(FileSourceTest, BackslashesInTheNameAreFolderSeparators) {
    dir.write("t.tsm", "x");
    std::string name = dir.path() + "\\t.tsm";
    SSFileInputSource source(name.c_str());
    EXPECT_EQ(bytesOf(readAll(source)), "x");
}

TEST_F(FileSourceTest, EmptyFileRaisesCode2) {
    std::string file = dir.write("empty.tsm", "");
    try {
        SSFileInputSource source(file.c_str());
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 2u);
        EXPECT_EQ(std::string(e.text), "SSLex0102e: Invalid file length or read error, " + file + ", 0");
    }
}

TEST_F(FileSourceTest, LexemeLongerThanAFixedBufferRaisesCode3) {
    std::string file = dir.write("long.tsm", "abcdefgh");
    SSFileInputSource source(file.c_str(), SSInputBytes, 4, 0);
    try {
        while (source.read()) {
        }
        FAIL() << "nothing thrown";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 3u);
        EXPECT_STREQ(e.text, "SSLex0103e: Lexeme too long, 4");
    }
}

TEST_F(FileSourceTest, CompactionReportsTheShiftAndKeepsTheLexeme) {
    std::string file = dir.write("t.tsm", "abcdef");
    SSFileInputSource source(file.c_str(), SSInputBytes, 4, 0);
    source.read();
    source.read();
    source.read();
    source.skipToPosition();  // "ab" consumed
    source.read();
    source.read();
    source.read();  // needs a refill: "cd" moves to the front
    EXPECT_EQ(source.state().shift, 2u);
    EXPECT_EQ(source.state().discarded, 2u);
    source.state().shift = 0;
    EXPECT_EQ(source.makeToken()->view(), "cde");
}

}  // namespace
