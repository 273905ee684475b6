#include "database/odbc/odbc_lists.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The lists only compare and store item pointers: distinct addresses stand in for objects.
odbcCONNECT* Item(int i) {
    static char slots[8];
    return reinterpret_cast<odbcCONNECT*>(&slots[i]);
}

std::vector<odbcCONNECT*> Items(const odbcCONNLIST& list) {
    std::vector<odbcCONNECT*> out;
    for (odbcCONNELEM* e = list.First(); e; e = e->next) out.push_back(e->item);
    return out;
}

TEST(OdbcLists, AddAppendsAtTheTail) {
    odbcCONNLIST list(0);
    list.Add(Item(0));
    list.Add(Item(1));
    list.Add(Item(2));
    EXPECT_EQ(Items(list), (std::vector<odbcCONNECT*>{Item(0), Item(1), Item(2)}));
}

TEST(OdbcLists, RemovingAnAbsentItemChangesNothing) {
    odbcCONNLIST list(0);
    list.Remove(Item(3));  // empty list
    list.Add(Item(0));
    list.Add(Item(1));
    list.Remove(Item(3));
    EXPECT_EQ(Items(list), (std::vector<odbcCONNECT*>{Item(0), Item(1)}));
}

TEST(OdbcLists, RemovingTheFirstMakesTheSecondFirst) {
    odbcCONNLIST list(0);
    list.Add(Item(0));
    list.Add(Item(1));
    list.Add(Item(2));
    list.Remove(Item(0));
    ASSERT_NE(list.First(), nullptr);
    EXPECT_EQ(list.First()->item, Item(1));
    list.Remove(Item(2));
    EXPECT_EQ(Items(list), (std::vector<odbcCONNECT*>{Item(1)}));
}

TEST(OdbcLists, RemoveTakesOnlyTheFirstOfDuplicates) {
    odbcCONNLIST list(0);
    list.Add(Item(0));
    list.Add(Item(1));
    list.Add(Item(0));
    list.Remove(Item(0));
    EXPECT_EQ(Items(list), (std::vector<odbcCONNECT*>{Item(1), Item(0)}));
}

TEST(OdbcLists, StatementListRemovesWithoutDestroying) {
    odbcSTMTLIST list(0);
    auto* a = reinterpret_cast<odbcSTMT*>(Item(4));
    auto* b = reinterpret_cast<odbcSTMT*>(Item(5));
    list.Add(a);
    list.Add(b);
    list.Remove(a, 0, 1);  // override 0 on a non-owning list: the item is left alone
    ASSERT_NE(list.First(), nullptr);
    EXPECT_EQ(list.First()->item, b);
    EXPECT_EQ(list.First()->next, nullptr);
}

}  // namespace
