#include "hdmlgen/compiler/tpc_parser.h"

#include <cctype>
#include <cstring>
#include <set>
#include <vector>

#include "hdmlgen/compiler/tpc_hdmlc_gen.h"
#include "platform/ascii_text.h"

using hdml::Element;
using hdml::Node;

namespace {

using tessaro::platform::UpperAscii;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' || c == ':';
}

std::string Tag(Element e) {
    return "<" + std::string(hdml::ElementName(e)) + ">";
}

// Whitespace runs become one blank; at either end of a run a blank that holds a
// line break goes, since it only lays out the source. Characters written as
// references (literal[i]) are never layout.
std::string NormaliseText(const std::string& raw, const std::vector<bool>& literal) {
    std::string out;
    std::size_t i = 0, n = raw.size();
    auto blank = [&](std::size_t k) { return IsBlank(raw[k]) && !literal[k]; };
    while (i < n) {
        if (!blank(i)) {
            out += raw[i++];
            continue;
        }
        std::size_t start = i;
        bool lineBreak = false;
        while (i < n && blank(i)) lineBreak |= raw[i++] == '\n';
        bool atEdge = start == 0 || i == n;
        if (!(atEdge && lineBreak)) out += ' ';
    }
    return out;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const TpcParseError& error) {
    return out << "Line " << error.GetLine() << ", column " << error.GetColumn() << ": " << error.GetMessage();
}

// Walks the source once; builds the tree and reports every error it meets.
class TpcParser::Reader {
public:
    Reader(TpcParser& parser) : p_(parser), s_(parser.m_text), n_(parser.m_length) {}

    void Run() {
        stack_.push_back(&p_.m_deck);
        while (i_ < n_) {
            if (s_[i_] == '<')
                Markup();
            else
                Text();
        }
        int line = line_, column = column_;
        for (std::size_t k = stack_.size(); k-- > 1;)
            p_.AddError(line, column, "Missing end tag </" + std::string(hdml::ElementName(stack_[k]->element)) + ">");
        CheckDeck();
    }

private:
    Element Current() const { return stack_.back()->element; }

    void Advance(std::size_t count = 1) {
        for (; count > 0 && i_ < n_; --count, ++i_) {
            if (s_[i_] == '\n') {
                ++line_;
                column_ = 1;
            } else {
                ++column_;
            }
        }
    }
    bool At(const char* text) const {
        std::size_t len = std::strlen(text);
        return n_ - i_ >= len && std::memcmp(s_ + i_, text, len) == 0;
    }
    void SkipBlanks() {
        while (i_ < n_ && IsBlank(s_[i_])) Advance();
    }
    std::string Name() {
        std::string name;
        while (i_ < n_ && IsNameChar(s_[i_])) {
            name += s_[i_];
            Advance();
        }
        return name;
    }

    // Decodes one character entity at '&' into out; false (with an error) when unknown.
    void Entity(std::string& out) {
        int line = line_, column = column_;
        std::size_t end = i_ + 1;
        while (end < n_ && end - i_ <= 10 && (std::isalnum(static_cast<unsigned char>(s_[end])) || s_[end] == '#'))
            ++end;
        std::string name(s_ + i_ + 1, end - i_ - 1);
        if (end >= n_ || s_[end] != ';' || name.empty()) {
            p_.AddError(line, column, "A '&' must begin a character entity such as &amp;");
            Advance();
            out += '&';
            return;
        }
        Advance(end - i_ + 1);
        static const struct {
            const char* name;
            const char* text;
        } kEntities[] = {{"amp", "&"},  {"lt", "<"},   {"gt", ">"},  {"quot", "\""},
                         {"apos", "'"}, {"dol", "$$"}, {"nbsp", " "}};
        for (const auto& e : kEntities)
            if (name == e.name) {
                out += e.text;
                return;
            }
        if (name[0] == '#' && name.size() > 1 && name.size() <= 4) {
            int code = 0;
            bool digits = true;
            for (std::size_t k = 1; k < name.size(); ++k) {
                if (!std::isdigit(static_cast<unsigned char>(name[k]))) digits = false;
                code = code * 10 + (name[k] - '0');
            }
            if (digits && code > 0 && code < 256) {
                if (code == '$')
                    out += "$$";
                else
                    out += static_cast<char>(code);
                return;
            }
        }
        p_.AddError(line, column, "Unknown character entity &" + name + ";");
    }

    // A '$' begins a variable reference "$(name)"; any other '$' is itself.
    void Dollar(std::string& out) {
        int line = line_, column = column_;
        if (i_ + 1 >= n_ || s_[i_ + 1] != '(') {
            out += "$$";
            Advance();
            return;
        }
        std::size_t end = i_ + 2;
        while (end < n_ && IsNameChar(s_[end])) ++end;
        std::string name(s_ + i_ + 2, end - i_ - 2);
        if (end >= n_ || s_[end] != ')' || name.empty()) {
            p_.AddError(line, column, "Unterminated variable reference $(" + name);
            Advance(end - i_);
            return;
        }
        out += "$(" + name + ")";
        Advance(end - i_ + 1);
    }

    // Characters up to a stop character, with entities and references decoded.
    std::string Characters(const char* stops, std::vector<bool>* literal = nullptr) {
        std::string out;
        while (i_ < n_ && !std::strchr(stops, s_[i_])) {
            bool reference = s_[i_] == '&' || s_[i_] == '$';
            if (s_[i_] == '&')
                Entity(out);
            else if (s_[i_] == '$')
                Dollar(out);
            else {
                out += s_[i_];
                Advance();
            }
            if (literal) literal->resize(out.size(), reference);
        }
        return out;
    }

    void Text() {
        int line = line_, column = column_;
        std::vector<bool> literal;
        std::string raw = Characters("<", &literal);
        bool blank = true;
        for (std::size_t k = 0; k < raw.size(); ++k) blank &= IsBlank(raw[k]) && !literal[k];
        if (blank) {
            // Blanks between words and markup on one line still separate them.
            if (!raw.empty() && raw.find('\n') == std::string::npos && hdml::TakesText(Current())) Append(" ");
            return;
        }
        Element where = Current();
        if (!hdml::TakesText(where)) {
            p_.AddError(line, column,
                        where == Element::None || where == Element::Hdml
                            ? std::string("Text is not allowed outside of a card")
                            : "Text is not allowed inside " + Tag(where));
            return;
        }
        std::string text = NormaliseText(raw, literal);
        if (text.size() > hdml::kMaxStringLength) {
            p_.AddError(line, column, "Text too long");
            return;
        }
        Append(text);
    }

    void Append(const std::string& text) {
        Node& parent = *stack_.back();
        if (!parent.children.empty() && parent.children.back().element == Element::None)
            parent.children.back().text += text;
        else
            parent.children.push_back(Node{Element::None, {}, text, {}});
    }

    void Markup() {
        int line = line_, column = column_;
        if (At("<!--")) {
            Advance(4);
            while (i_ < n_ && !At("-->")) Advance();
            if (i_ >= n_)
                p_.AddError(line, column, "Unterminated comment");
            else
                Advance(3);
            return;
        }
        Advance();
        bool end = i_ < n_ && s_[i_] == '/';
        if (end) Advance();
        std::string name = Name();
        if (name.empty()) {
            p_.AddError(line, column, "A '<' must begin a tag; write &lt; for the character");
            if (hdml::TakesText(Current())) Append("<");
            return;
        }
        Element element = hdml::FindElement(name);
        std::vector<std::pair<std::uint8_t, std::string>> attributes;
        bool selfClosing = false;
        if (!Attributes(element, name, end, attributes, selfClosing)) {
            p_.AddError(line, column, "Unterminated tag <" + std::string(end ? "/" : "") + name);
            return;
        }
        if (element == Element::None) {
            p_.AddError(line, column, "Unknown element <" + std::string(end ? "/" : "") + UpperAscii(name) + ">");
            return;
        }
        if (end)
            EndTag(element, line, column);
        else
            StartTag(element, std::move(attributes), selfClosing, line, column);
    }

    // Reads attributes up to '>'; false at the end of the text.
    bool Attributes(Element element, const std::string& tagName, bool endTag,
                    std::vector<std::pair<std::uint8_t, std::string>>& attributes, bool& selfClosing) {
        std::set<std::uint8_t> seen;
        for (;;) {
            SkipBlanks();
            if (i_ >= n_) return false;
            if (s_[i_] == '>') {
                Advance();
                return true;
            }
            if (At("/>")) {
                selfClosing = true;
                Advance(2);
                return true;
            }
            int line = line_, column = column_;
            std::string name = Name();
            if (name.empty()) {
                p_.AddError(line, column,
                            std::string("Unexpected character '") + s_[i_] + "' in <" + UpperAscii(tagName) + ">");
                Advance();
                continue;
            }
            SkipBlanks();
            std::string value;
            bool hasValue = i_ < n_ && s_[i_] == '=';
            if (hasValue) {
                Advance();
                SkipBlanks();
                if (i_ < n_ && (s_[i_] == '"' || s_[i_] == '\'')) {
                    char quote[2] = {s_[i_], 0};
                    Advance();
                    value = Characters(quote);
                    if (i_ >= n_) return false;
                    Advance();
                } else {
                    value = Characters(" \t\r\n\f>");
                }
            }
            if (element == Element::None) continue;
            std::string where = "<" + UpperAscii(tagName) + ">";
            if (endTag) {
                p_.AddError(line, column, "An end tag takes no attributes: </" + UpperAscii(tagName) + ">");
                continue;
            }
            std::uint8_t code = hdml::FindAttribute(name);
            if (code == 0 || !hdml::TakesAttribute(element, code)) {
                p_.AddError(line, column, "Unknown attribute " + UpperAscii(name) + " in " + where);
            } else if (!hasValue) {
                p_.AddError(line, column, "Attribute " + UpperAscii(name) + " in " + where + " has no value");
            } else if (!seen.insert(code).second) {
                p_.AddError(line, column, "Duplicate attribute " + UpperAscii(name) + " in " + where);
            } else if (value.size() > hdml::kMaxStringLength) {
                p_.AddError(line, column, "Value of " + UpperAscii(name) + " in " + where + " is too long");
            } else {
                attributes.emplace_back(code, value);
            }
        }
    }

    void StartTag(Element element, std::vector<std::pair<std::uint8_t, std::string>> attributes, bool selfClosing,
                  int line, int column) {
        // A choice entry ends where the next one (or anything it cannot hold) begins.
        if (Current() == Element::Ce && !hdml::AllowedInside(element, Element::Ce) &&
            hdml::AllowedInside(element, Element::Choice))
            stack_.pop_back();
        if (element == Element::Hdml && sawDeck_) {
            p_.AddError(line, column, "Only one <HDML> element is allowed");
            return;
        }
        if (!hdml::AllowedInside(element, Current())) {
            std::string message = Tag(element) + " is not allowed ";
            message += Current() == Element::None ? std::string("outside of <HDML>") : "inside " + Tag(Current());
            p_.AddError(line, column, message);
            return;
        }
        for (std::uint8_t a = 1; a <= hdml::kLastAttribute; ++a) {
            if (!hdml::RequiresAttribute(element, a)) continue;
            bool given = false;
            for (const auto& [code, value] : attributes) given |= code == a && !value.empty();
            if (!given)
                p_.AddError(
                    line, column,
                    "Missing required attribute " + std::string(hdml::AttributeName(a)) + " in " + Tag(element));
        }
        if (hdml::IsCard(element)) {
            for (const auto& [code, value] : attributes)
                if (hdml::AttributeName(code) == "NAME" && !cardNames_.insert(UpperAscii(value)).second)
                    p_.AddError(line, column, "Duplicate card name '" + value + "'");
            ++cards_;
        }
        if (element == Element::Hdml) sawDeck_ = true;
        Node& parent = *stack_.back();
        parent.children.push_back(Node{element, std::move(attributes), {}, {}});
        if (!hdml::IsEmptyElement(element) && !selfClosing) stack_.push_back(&parent.children.back());
    }

    void EndTag(Element element, int line, int column) {
        if (hdml::IsEmptyElement(element)) {
            p_.AddError(line, column, Tag(element) + " takes no end tag");
            return;
        }
        if (Current() == Element::Ce && element != Element::Ce) stack_.pop_back();
        std::size_t open = stack_.size();
        while (open > 1 && stack_[open - 1]->element != element) --open;
        if (open <= 1) {
            p_.AddError(line, column, "Unexpected end tag </" + std::string(hdml::ElementName(element)) + ">");
            return;
        }
        for (std::size_t k = stack_.size(); k > open; --k)
            p_.AddError(line, column,
                        "Missing end tag </" + std::string(hdml::ElementName(stack_[k - 1]->element)) + ">");
        stack_.resize(open - 1);
    }

    void CheckDeck() {
        if (!sawDeck_) {
            p_.AddError(1, 1, "No <HDML> element found");
            return;
        }
        if (cards_ == 0) p_.AddError(line_, column_, "The deck contains no cards");
    }

    TpcParser& p_;
    const char* s_;
    std::size_t n_;
    std::size_t i_ = 0;
    int line_ = 1;
    int column_ = 1;
    // Open elements; the first is the document. Children vectors only grow at the
    // innermost open element, so the pointers stay valid.
    std::vector<Node*> stack_;
    bool sawDeck_ = false;
    int cards_ = 0;
    std::set<std::string> cardNames_;
};

TpcParser::TpcParser(const char* language, const char* text, std::size_t length)
    : m_language(language ? language : ""), m_text(text ? text : ""), m_length(text ? length : 0) {}

TpcParser::~TpcParser() = default;

void TpcParser::AddError(int line, int column, const std::string& message) {
    if (m_errors.size() >= kMaxListedErrors) {
        ++m_unlistedErrors;
        return;
    }
    m_errors.emplace_back(line, column, message);
    if (m_errors.size() > 1) m_errors[m_errors.size() - 2].m_next = &m_errors.back();
}

int TpcParser::ParseDeck() {
    m_deck = Node{};
    m_errors.clear();
    m_unlistedErrors = 0;
    if (m_language != "HDML") {
        AddError(1, 1, "Unknown language '" + m_language + "'");
    } else {
        Reader(*this).Run();
    }
    m_parsed = m_errors.empty();
    return m_parsed ? 1 : 0;
}

int TpcParser::Generate(TpcHDMLCGen& generator) {
    if (!m_parsed) return 0;
    return generator.WriteDeck(m_deck) ? 1 : 0;
}
