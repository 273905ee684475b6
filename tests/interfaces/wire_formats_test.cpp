// The ksml-engine wire formats: what the encoder writes the decoder reads back, and both
// agree with the bytes the format fixes (little-endian on every host).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "interfaces/copy_data_block.h"
#include "interfaces/environment_block.h"

using namespace std::string_literals;
using namespace tessaro::interfaces;

namespace {

TEST(CopyDataBlockFormat, EncodesLittleEndianAndDecodesTheSameBytes) {
    const std::string bytes = "\x04\x03\x02\x01\x03\0\0\0\x05\0\0\0\x01\x01\0\0/f1A=1\0\0"s + std::string(257, 'b');
    EXPECT_EQ(EncodeCopyDataBlock(0x01020304, "/f1", "A=1\0"s + "\0"s, std::string(257, 'b')), bytes);
    CopyDataRequest request;
    ASSERT_TRUE(DecodeCopyDataBlock(bytes, request));
    EXPECT_EQ(request.completionHandle, 0x01020304u);
    EXPECT_EQ(request.replyFile, "/f1");
    EXPECT_EQ(request.environment, "A=1\0\0"s);
    EXPECT_EQ(request.body, std::string(257, 'b'));
}

TEST(CopyDataBlockFormat, RoundTripsAndRefusesShortBlocks) {
    const std::string block = EncodeCopyDataBlock(7, "/t/TST1.TMP", "A=1\0\0"s, "x\0y"s);
    CopyDataRequest request;
    ASSERT_TRUE(DecodeCopyDataBlock(block, request));
    EXPECT_EQ(EncodeCopyDataBlock(request.completionHandle, request.replyFile, request.environment, request.body),
              block);
    // Every shorter block, and one whose lengths claim more than it holds, is refused.
    for (std::size_t size = 0; size < block.size(); ++size)
        EXPECT_FALSE(DecodeCopyDataBlock(std::string_view(block).substr(0, size), request)) << size;
    std::string lying = block;
    lying[12] = '\xff';
    lying[15] = '\xff';
    EXPECT_FALSE(DecodeCopyDataBlock(lying, request));
    const std::string followed = block + "trailing";  // the views point into the decoded block
    EXPECT_TRUE(DecodeCopyDataBlock(followed, request));
    EXPECT_EQ(request.body, "x\0y"s);
}

std::vector<std::pair<std::string, std::string>> Decode(std::string_view block) {
    std::vector<std::pair<std::string, std::string>> entries;
    DecodeEnvironmentBlock(block, [&](std::string_view name, std::string_view value) {
        entries.emplace_back(std::string(name), std::string(value));
    });
    return entries;
}

TEST(EnvironmentBlockFormat, RoundTripsEveryEntryInOrder) {
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"REQUEST_METHOD", "POST"}, {"EMPTY", ""}, {"QUERY_STRING", "a=b&c==d"}, {"LONG", std::string(70000, 'v')}};
    std::string block;
    for (const auto& [name, value] : entries) AppendEnvironmentEntry(block, name, value);
    EndEnvironmentBlock(block);
    EXPECT_EQ(block.substr(0, 20), "REQUEST_METHOD=POST\0"s);
    EXPECT_EQ(block.substr(block.size() - 3), "v\0\0"s);
    EXPECT_EQ(Decode(block), entries);
}

TEST(EnvironmentBlockFormat, DecodingKeepsToTheEntriesThatAreWhole) {
    struct Case {
        std::string block;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    const Case cases[] = {
        {""s, {}},
        {"\0A=1\0\0"s, {}},                                     // the empty entry ends the block
        {"A=1\0NOEQUALS\0B=2\0\0"s, {{"A", "1"}, {"B", "2"}}},  // an entry without '=' is skipped
        {"A=1\0B=cut"s, {{"A", "1"}}},                          // a last entry cut off is not given
        {"A=1\0\0C=3\0"s, {{"A", "1"}}},                        // nothing after the end counts
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.block), c.entries) << c.block;
}

}  // namespace
