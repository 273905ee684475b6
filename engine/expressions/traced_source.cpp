#include "engine/expressions/traced_source.h"

#include <algorithm>
#include <string>
#include <vector>

void CTracedSource::Assign(const CTracedView& text) {
    const CTracedView read = text.Sub(0, text.text().find('\0'));
    m_input.assign(read.text().data(), read.size());
    if (read.InUniformText()) {
        m_text = CTracedText();
        m_mixed = false;
        m_allValue = read.InValueText();
        return;
    }
    // One object keeps the characters the source holds and their marks.
    m_text = CTracedText::Slice(read);
    m_mixed = m_text.Origin().IsMixed();
    m_allValue = m_text.Origin().AllValue();
    if (!m_mixed) m_text = CTracedText();
}

CTracedText CTracedSource::Characters(std::size_t start, std::size_t length) const {
    if (m_mixed) return CTracedText::Slice(m_text, start, length);
    const std::vector<unsigned char>& bytes = m_input.buffer();
    start = std::min(start, bytes.size());
    length = std::min(length, bytes.size() - start);
    return CTracedText::Uniform(std::string(reinterpret_cast<const char*>(bytes.data()) + start, length), m_allValue);
}
