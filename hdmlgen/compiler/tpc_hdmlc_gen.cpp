#include "hdmlgen/compiler/tpc_hdmlc_gen.h"

namespace {

void PutU16(std::ostream& out, std::size_t value) {
    out.put(static_cast<char>((value >> 8) & 0xFF));
    out.put(static_cast<char>(value & 0xFF));
}

}  // namespace

std::uint16_t TpcHDMLCGen::StringIndex(const std::string& text) {
    return m_index.at(text);
}

void TpcHDMLCGen::CollectStrings(const hdml::Node& node) {
    auto add = [this](const std::string& text) {
        if (m_index.count(text)) return;
        if (m_strings.size() >= hdml::kMaxStrings || text.size() > hdml::kMaxStringLength) {
            m_tooMany = true;
            return;
        }
        m_index.emplace(text, static_cast<std::uint16_t>(m_strings.size()));
        m_strings.push_back(&m_index.find(text)->first);
    };
    if (node.element == hdml::Element::None && !node.text.empty()) add(node.text);
    for (const auto& attribute : node.attributes) add(attribute.second);
    for (const auto& child : node.children) CollectStrings(child);
}

void TpcHDMLCGen::WriteAttributes(const hdml::Node& node) {
    m_out.put(static_cast<char>(node.element));
    m_out.put(static_cast<char>(node.attributes.size()));
    for (const auto& [code, value] : node.attributes) {
        m_out.put(static_cast<char>(code));
        PutU16(m_out, StringIndex(value));
    }
}

void TpcHDMLCGen::WriteNode(const hdml::Node& node) {
    if (node.element == hdml::Element::None) {
        if (node.text.empty()) return;
        m_out.put(static_cast<char>(hdml::kText));
        PutU16(m_out, StringIndex(node.text));
        return;
    }
    bool empty = hdml::IsEmptyElement(node.element) || node.children.empty();
    m_out.put(static_cast<char>(empty ? hdml::kEmpty : hdml::kStart));
    WriteAttributes(node);
    if (empty) return;
    for (const auto& child : node.children) WriteNode(child);
    m_out.put(static_cast<char>(hdml::kEnd));
}

bool TpcHDMLCGen::WriteDeck(const hdml::Node& deck) {
    m_index.clear();
    m_strings.clear();
    m_tooMany = false;
    CollectStrings(deck);
    if (m_tooMany) return false;
    m_out.write(hdml::kDeckMagic, 4);
    m_out.put(static_cast<char>(hdml::kDeckMajorVersion));
    m_out.put(static_cast<char>(hdml::kDeckMinorVersion));
    PutU16(m_out, m_strings.size());
    for (const std::string* text : m_strings) {
        PutU16(m_out, text->size());
        m_out.write(text->data(), static_cast<std::streamsize>(text->size()));
    }
    for (const auto& child : deck.children) WriteNode(child);
    m_out.put(static_cast<char>(hdml::kEndOfDeck));
    m_out.flush();
    return static_cast<bool>(m_out);
}
