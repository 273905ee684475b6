// The cells of a query result, all of them text. The characters live in blocks that are
// never moved (a cell's text stays where it is until the result goes) and that go back to the
// system whole with the result; each cell is a place and a length. So a row costs its
// characters, a terminator and 16 bytes a cell, where a string per cell and a vector per row
// cost several times that, in small pieces a heap keeps after the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class CQueryCells {
public:
    // What one cell costs besides its characters and terminator.
    static constexpr std::size_t kBytesPerCell = 16;

    CQueryCells() = default;
    CQueryCells(const CQueryCells&) = delete;
    CQueryCells& operator=(const CQueryCells&) = delete;
    CQueryCells(CQueryCells&&) noexcept = default;
    CQueryCells& operator=(CQueryCells&&) noexcept = default;

    // Empties the result and gives each row `columns` cells.
    void Reset(std::size_t columns);
    std::size_t Columns() const { return m_columns; }
    std::size_t Rows() const { return m_columns == 0 ? m_rows : m_cells.size() / m_columns; }

    // A new last row, every cell empty.
    void AddRow();
    // The text of an existing cell; an earlier text of it stays (unreachable) until the result goes.
    void Set(std::size_t row, std::size_t column, std::string_view text);
    // "" for a cell out of range. The text is terminated, so data() is a C string.
    std::string_view Get(std::size_t row, std::size_t column) const;

    // What a row of these texts costs (see kBytesPerCell).
    static std::size_t CostOf(std::string_view text) { return text.size() + 1 + kBytesPerCell; }

private:
    struct Cell {
        const char* text = nullptr;  // null: empty
        std::size_t length = 0;
    };
    static_assert(sizeof(Cell) == kBytesPerCell);
    // A terminated copy of text in the blocks.
    const char* Store(std::string_view text);

    std::size_t m_columns = 0;
    std::size_t m_rows = 0;  // rows of a result without columns
    std::vector<Cell> m_cells;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockSize = 0;
    std::size_t m_blockUsed = 0;
};
