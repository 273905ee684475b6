#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/templates/core/query_cells.h"

namespace {

TEST(QueryCellsTest, CellsKeepTheirTextWhereItIsWhileRowsAreAdded) {
    CQueryCells cells;
    cells.Reset(2);
    std::vector<const char*> firsts;
    for (int row = 0; row < 5000; ++row) {
        cells.AddRow();
        cells.Set(static_cast<std::size_t>(row), 0, "row " + std::to_string(row));
        if (row % 7 == 0) cells.Set(static_cast<std::size_t>(row), 1, std::string(3000 + row, 'z'));
        firsts.push_back(cells.Get(static_cast<std::size_t>(row), 0).data());
    }
    // A text longer than any block has one of its own.
    cells.AddRow();
    cells.Set(5000, 1, std::string(3u << 20, 'L'));
    ASSERT_EQ(cells.Rows(), 5001u);
    for (int row = 0; row < 5000; ++row) {
        const auto at = static_cast<std::size_t>(row);
        EXPECT_EQ(cells.Get(at, 0), "row " + std::to_string(row));
        EXPECT_EQ(cells.Get(at, 0).data(), firsts[at]);
        EXPECT_EQ(cells.Get(at, 0).data()[cells.Get(at, 0).size()], '\0');
        EXPECT_EQ(cells.Get(at, 1).size(), row % 7 == 0 ? 3000u + at : 0u);
    }
    EXPECT_EQ(cells.Get(5000, 1).size(), 3u << 20);
    EXPECT_EQ(cells.Get(5000, 0), "");
}

TEST(QueryCellsTest, OutOfRangeAndEmptyCellsReadAsAnEmptyCString) {
    CQueryCells cells;
    cells.Reset(1);
    EXPECT_EQ(cells.Rows(), 0u);
    cells.AddRow();
    cells.Set(0, 0, "a");
    cells.Set(0, 0, "");
    cells.Set(3, 0, "ignored");
    cells.Set(0, 5, "ignored");
    for (auto [row, column] : {std::pair<std::size_t, std::size_t>{0, 0}, {1, 0}, {0, 1}}) {
        EXPECT_EQ(cells.Get(row, column), "");
        ASSERT_NE(cells.Get(row, column).data(), nullptr);
        EXPECT_EQ(*cells.Get(row, column).data(), '\0');
    }
    // A result without columns still counts its rows.
    CQueryCells none;
    none.Reset(0);
    none.AddRow();
    none.AddRow();
    EXPECT_EQ(none.Rows(), 2u);
    EXPECT_EQ(CQueryCells::CostOf("abc"), 3u + 1 + CQueryCells::kBytesPerCell);
    cells.Reset(3);
    EXPECT_EQ(cells.Rows(), 0u);
    EXPECT_EQ(cells.Columns(), 3u);
}

}  // namespace
