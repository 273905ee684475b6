#include "engine/templates/lexed_templates.h"

#include <algorithm>
#include <cstring>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_lex.h"

namespace {

// The same place of the text: what a state saved there and put back (the source's own
// restore) still tells.
bool SameBoundary(const SSInputState& a, const SSInputState& b) {
    return a.position == b.position && a.mark == b.mark && a.discarded == b.discarded && a.line == b.line &&
           a.markColumn == b.markColumn && a.column == b.column && a.charsRead == b.charsRead;
}

}  // namespace

std::uint32_t CLexedTemplate::ListsIndex(const std::vector<std::uint32_t>& lists) {
    // Lexemes change the stack only now and then: the last stack met is the likely one.
    if (!m_lexemes.empty() && m_lists[m_lexemes.back().lists] == lists) return m_lexemes.back().lists;
    for (std::size_t i = 0; i < m_lists.size(); ++i)
        if (m_lists[i] == lists) return static_cast<std::uint32_t>(i);
    m_lists.push_back(lists);
    return static_cast<std::uint32_t>(m_lists.size() - 1);
}

std::shared_ptr<const CLexedTemplate> CLexedTemplate::Lex(const std::string& text, const SSLexStateTables* tables,
                                                          std::size_t maxBytes) {
    std::shared_ptr<CLexedTemplate> form(new CLexedTemplate(text));
    SSLex lexer;
    lexer.setTables(tables);
    lexer.setSource(std::make_unique<SSStringInputSource>(text.data(), text.size(), SSInputText));
    try {
        if (!lexer.pushExpressionList(0)) return nullptr;
        form->m_start = lexer.source()->state();
        form->ListsIndex(lexer.expressionLists());
        std::size_t bytes = form->Bytes();
        const std::vector<unsigned char>& buffer = lexer.source()->buffer();
        while (SSRefPtr<SSToken> lexeme = lexer.nextToken()) {
            const SSInputState& after = lexer.source()->state();
            // A lexeme is the text up to where the source stands after it.
            const std::size_t length = lexeme->length();
            if (lexeme->narrow() != 1 || length > after.position || after.position > buffer.size() ||
                std::memcmp(buffer.data() + after.position - length, lexeme->text(), length) != 0)
                break;
            Lexeme kept;
            kept.token = lexeme->token();
            kept.lists = form->ListsIndex(lexer.expressionLists());
            kept.offset = after.position - length;
            kept.length = length;
            kept.line = lexeme->line();
            kept.column = lexeme->offset();
            kept.after = after;
            form->m_lexemes.push_back(kept);
            bytes += sizeof(Lexeme);
            if (bytes > maxBytes) return nullptr;
        }
    } catch (const SSException&) {
        // Text no lexeme matches: the form ends before it, and the parse's own lexer finds it.
    }
    form->m_lexemes.shrink_to_fit();
    if (form->Bytes() > maxBytes) return nullptr;
    return form;
}

std::size_t CLexedTemplate::After(const SSInputState& state, const std::vector<std::uint32_t>& lists) const {
    auto at = std::lower_bound(m_lexemes.begin(), m_lexemes.end(), state.position,
                               [](const Lexeme& lexeme, std::size_t position) { return lexeme.after.position < position; });
    for (; at != m_lexemes.end() && at->after.position == state.position; ++at)
        if (SameBoundary(at->after, state) && m_lists[at->lists] == lists)
            return static_cast<std::size_t>(at - m_lexemes.begin());
    return kNone;
}

std::size_t CLexedTemplate::Bytes() const {
    std::size_t bytes = sizeof(CLexedTemplate) + m_text.capacity() + m_lexemes.capacity() * sizeof(Lexeme);
    for (const auto& lists : m_lists) bytes += sizeof(lists) + lists.capacity() * sizeof(std::uint32_t);
    return bytes;
}

std::shared_ptr<const CLexedTemplate> CLexedTemplates::Find(const tessaro::platform::FileStamp& stamp,
                                                            const std::string& text) {
    std::shared_ptr<const CLexedTemplate> form;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_byFile.find({stamp.identity.device, stamp.identity.inode});
        if (found == m_byFile.end() || !(found->second->stamp == stamp)) return nullptr;
        m_recent.splice(m_recent.begin(), m_recent, found->second);
        form = found->second->form;
    }
    // Compared outside the lock: a form never changes once made.
    return form->Text() == text ? form : nullptr;
}

void CLexedTemplates::Keep(const tessaro::platform::FileStamp& stamp, std::shared_ptr<const CLexedTemplate> form) {
    if (!form || stamp.identity == tessaro::platform::FileIdentity{}) return;
    const std::size_t bytes = form->Bytes();
    if (bytes > LargestKept()) return;
    std::lock_guard lock(m_mutex);
    const Identity file{stamp.identity.device, stamp.identity.inode};
    if (auto older = m_byFile.find(file); older != m_byFile.end()) {
        m_bytes -= older->second->bytes;
        m_recent.erase(older->second);
        m_byFile.erase(older);
    }
    m_recent.push_front({stamp, std::move(form), bytes});
    m_byFile[file] = m_recent.begin();
    m_bytes += bytes;
    while (m_bytes > m_maxBytes && !m_recent.empty()) {
        const Kept& last = m_recent.back();
        m_bytes -= last.bytes;
        m_byFile.erase({last.stamp.identity.device, last.stamp.identity.inode});
        m_recent.pop_back();
    }
}

std::size_t CLexedTemplates::BytesHeld() const {
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

std::size_t CLexedTemplates::Count() const {
    std::lock_guard lock(m_mutex);
    return m_recent.size();
}
