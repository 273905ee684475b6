#include "engine/templates/core/query_cells.h"

#include <algorithm>
#include <cstring>

namespace {

// Blocks start small (a query of a few rows costs little) and double up to this size.
constexpr std::size_t kFirstBlockBytes = 1024;
constexpr std::size_t kLargestBlockBytes = 1024 * 1024;

}  // namespace

void CQueryCells::Reset(std::size_t columns) {
    m_columns = columns;
    m_rows = 0;
    std::vector<Cell>().swap(m_cells);
    std::vector<std::unique_ptr<char[]>>().swap(m_blocks);
    m_blockSize = 0;
    m_blockUsed = 0;
}

void CQueryCells::AddRow() {
    if (m_columns == 0) {
        ++m_rows;
        return;
    }
    m_cells.resize(m_cells.size() + m_columns);
}

void CQueryCells::Set(std::size_t row, std::size_t column, std::string_view text) {
    if (column >= m_columns || row >= Rows()) return;
    Cell& cell = m_cells[row * m_columns + column];
    cell.text = text.empty() ? nullptr : Store(text);
    cell.length = text.size();
}

std::string_view CQueryCells::Get(std::size_t row, std::size_t column) const {
    if (column >= m_columns || row >= Rows()) return std::string_view("", 0);
    const Cell& cell = m_cells[row * m_columns + column];
    return cell.text == nullptr ? std::string_view("", 0) : std::string_view(cell.text, cell.length);
}

const char* CQueryCells::Store(std::string_view text) {
    const std::size_t needed = text.size() + 1;
    if (m_blocks.empty() || m_blockSize - m_blockUsed < needed) {
        m_blockSize = std::min(kLargestBlockBytes, m_blockSize == 0 ? kFirstBlockBytes : m_blockSize * 2);
        // A text longer than a block has one of its own.
        const std::size_t size = std::max(m_blockSize, needed);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_blockSize = size;
        m_blockUsed = 0;
    }
    char* place = m_blocks.back().get() + m_blockUsed;
    std::memcpy(place, text.data(), text.size());
    place[text.size()] = '\0';
    m_blockUsed += needed;
    return place;
}
