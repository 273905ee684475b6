#include "engine/templates/core/if_block_stack.h"

#include "support/web_exception.h"

void CIfBlockStack::Record(std::size_t depth, const std::string& text) {
    // A long loop of conditionals keeps only its latest records, in count and in bytes.
    constexpr std::size_t kMaxListing = 2000;
    constexpr std::size_t kMaxListingBytes = std::size_t{1} << 20;
    if (m_listing.size() >= kMaxListing || m_listingBytes + text.size() > kMaxListingBytes) {
        m_listing.erase(m_listing.begin(), m_listing.begin() + static_cast<std::ptrdiff_t>((m_listing.size() + 1) / 2));
        m_listingBytes = 0;
        for (const auto& record : m_listing) m_listingBytes += record.second.size();
    }
    m_listing.push_back({depth, text});
    m_listingBytes += text.size();
}

void CIfBlockStack::Mismatch(const CWebMessage& unclosed) {
    // The conditional tags seen so far, indented by their nesting.
    CWebMessage listing;
    if (!m_listing.empty()) {
        listing = "<PRE>\n";
        // The tag on its own: a long one is quoted by its start, and its line still ends.
        for (const auto& [depth, text] : m_listing) {
            listing += std::string(depth * 2 + 2, ' ');
            listing += text;
            listing += "\n";
        }
        listing += "</PRE>\n";
    }
    m_listing.clear();
    m_listingBytes = 0;
    m_blocks.clear();
    throw new CWebException(
        CWebMessage(
            "The TSIF, TSELSE, TSELSEIF, and /TSIF tags in this template are not properly matched. There are three "
            "possible problems:<OL><LI>You have a TSIF which is not terminated by a /TSIF. <LI>You have a TSELSE, "
            "TSELSEIF, or /TSIF which does not correspond to a TSIF.<LI>You have a TSELSEIF which occurs after a "
            "TSELSE.</OL><P>Displayed below are the conditional tags evaluated up to and including the point at which "
            "the error was detected:<P> ") +
            listing,
        CWebMessage("Error in conditional evaluation tags.") + unclosed);
}

void CIfBlockStack::If(const std::string& condition) {
    bool parentOn = IsOutputOn();
    bool active = parentOn && m_evaluate(condition);
    m_blocks.push_back({parentOn, active, active, false, m_where ? m_where() : std::string()});
    Record(m_blocks.size(), "<TSIF " + condition + " >");
}

void CIfBlockStack::ElseIf(const std::string& condition) {
    Record(m_blocks.size(), "<TSELSEIF " + condition + " >");
    if (m_blocks.empty() || m_blocks.back().sawElse) Mismatch();
    Block& top = m_blocks.back();
    top.active = false;
    if (top.parentOn && !top.taken) {
        top.active = m_evaluate(condition);
        top.taken = top.active;
    }
}

void CIfBlockStack::Else() {
    Record(m_blocks.empty() ? 1 : m_blocks.size(), "<TSELSE>");
    if (m_blocks.empty()) Mismatch();
    // A further TSELSE of the same TSIF runs exactly when the first one did: `taken` keeps
    // saying whether an earlier branch ran, and only TSELSEIF is barred after a TSELSE.
    Block& top = m_blocks.back();
    top.active = top.parentOn && !top.taken;
    top.sawElse = true;
}

void CIfBlockStack::EndIf() {
    if (m_blocks.empty()) {
        Record(0, "</TSIF>");
        Mismatch();
    }
    m_blocks.pop_back();
    Record(m_blocks.size(), "</TSIF>");
}

void CIfBlockStack::CheckAtEnd() {
    if (m_blocks.empty()) return;
    const std::string& openedAt = m_blocks.back().openedAt;
    Mismatch(openedAt.empty() ? CWebMessage()
                              : CWebMessage(" The TSIF tag on ") + openedAt + " is not closed by a /TSIF.");
}
