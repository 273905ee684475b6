// The per-thread free lists behind lexemes and stack elements.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/parser/ss_block_recycler.h"
#include "engine/parser/ss_token.h"
#include "engine/parser/ss_yacc.h"

namespace {

TEST(BlockRecycler, AReleasedBlockServesTheNextRequestOfItsSizeClass) {
    // On a thread of its own: what earlier tests left in this thread's lists (a full
    // class gives its blocks back to the allocator) cannot change the count.
    std::thread([] {
        const std::size_t held = ss_recycler::heldBlocks();
        void* block = ss_recycler::allocate(40);
        std::memset(block, 0xAB, 48);  // the whole class is usable
        ss_recycler::release(block, 40);
        EXPECT_EQ(ss_recycler::heldBlocks(), held + 1);
        void* again = ss_recycler::allocate(33);  // same class of 48 bytes
        EXPECT_EQ(again, block);
        EXPECT_EQ(ss_recycler::heldBlocks(), held);
        void* other = ss_recycler::allocate(20);  // another class
        EXPECT_NE(other, block);
        ss_recycler::release(other, 20);
        ss_recycler::release(again, 33);
    }).join();
}

TEST(BlockRecycler, LargeBlocksAndFullListsGoBackToTheAllocator) {
    const std::size_t held = ss_recycler::heldBlocks();
    void* large = ss_recycler::allocate(ss_recycler::kLargestBlock + 1);
    ss_recycler::release(large, ss_recycler::kLargestBlock + 1);
    EXPECT_EQ(ss_recycler::heldBlocks(), held);

    std::vector<void*> blocks;
    for (std::size_t i = 0; i < ss_recycler::kBlocksPerClass + 50; ++i) blocks.push_back(ss_recycler::allocate(200));
    for (void* block : blocks) ss_recycler::release(block, 200);
    EXPECT_LE(ss_recycler::heldBlocks(), held + ss_recycler::kBlocksPerClass);
    EXPECT_GE(ss_recycler::heldBlocks(), ss_recycler::kBlocksPerClass);
}

TEST(BlockRecycler, ABlockFreedOnAnotherThreadStaysThere) {
    void* block = ss_recycler::allocate(64);
    const std::size_t held = ss_recycler::heldBlocks();
    std::size_t heldThere = 0;
    std::thread([&] {
        ss_recycler::release(block, 64);
        heldThere = ss_recycler::heldBlocks();
        // Given out again there, and freed with the thread's lists when it ends.
        void* again = ss_recycler::allocate(64);
        EXPECT_EQ(again, block);
        ss_recycler::release(again, 64);
    }).join();
    EXPECT_EQ(heldThere, 1u);
    EXPECT_EQ(ss_recycler::heldBlocks(), held);
}

TEST(BlockRecycler, LexemesAndStackElementsKeepTheirBlocks) {
    // Warm: one of each kind on the lists.
    { SSRefPtr<SSToken> token(new SSToken(1, "abc", 3, 1, 1)); }
    { SSRefPtr<SSParseStackEntry> entry(new SSParseStackEntry()); }
    const std::size_t held = ss_recycler::heldBlocks();
    const std::string text = "a longer lexeme than a short string holds";
    for (int i = 0; i < 1000; ++i) {
        SSRefPtr<SSToken> token(new SSToken(1, text.data(), text.size(), 1, 1));
        SSRefPtr<SSParseStackEntry> entry(new SSParseStackEntry());
        entry->setLexeme(token.get());
        EXPECT_EQ(entry->lexeme()->view(), text);
    }
    EXPECT_EQ(ss_recycler::heldBlocks(), held);
}

}  // namespace
