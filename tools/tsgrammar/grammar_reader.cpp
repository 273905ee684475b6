// Line-oriented reader of the grammar files in tools/grammars (format described there).
#include <algorithm>
#include <cctype>
#include <sstream>

#include "tools/tsgrammar/grammar_model.h"

namespace tsgrammar {
namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

class Reader {
public:
    explicit Reader(const std::string& origin) : origin_(origin) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw GrammarError(origin_ + ":" + std::to_string(line_) + ": " + what);
    }

    std::uint32_t number(const std::string& w) const {
        if (w.empty() || w.size() > 9) fail("bad number '" + w + "'");
        for (char c : w)
            if (!std::isdigit(static_cast<unsigned char>(c))) fail("bad number '" + w + "'");
        return static_cast<std::uint32_t>(std::stoul(w));
    }

    static bool isIdentifier(const std::string& w) {
        if (w.empty() || !(std::isalpha(static_cast<unsigned char>(w[0])) || w[0] == '_')) return false;
        for (char c : w)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
        return true;
    }

    // The "words" that start at `open` (a double quote), with \" and \\ unescaped; `end`
    // is set past the closing quote.
    std::string quoted(const std::string& text, std::size_t open, std::size_t* end) const {
        std::string out;
        for (std::size_t i = open + 1; i < text.size(); ++i) {
            char c = text[i];
            if (c == '"') {
                *end = i + 1;
                if (out.empty()) fail("empty description");
                return out;
            }
            if (c == '\\') {
                if (i + 1 >= text.size() || (text[i + 1] != '"' && text[i + 1] != '\\'))
                    fail("in a description only \\\" and \\\\ are escapes");
                c = text[++i];
            }
            out += c;
        }
        fail("description without its closing quote");
    }

    // The first rule of a token name, in any list read so far; null when the name is new.
    static const LexRule* firstRuleOf(const Grammar& g, const std::string& name) {
        for (const LexList& l : g.lists)
            for (const LexRule& r : l.rules)
                if (r.name == name) return &r;
        return nullptr;
    }

    // "token Name" alone: the token as its first rule defines it, recognised in this list too.
    bool readTokenAgain(Grammar& g, const std::string& rest) {
        std::vector<std::string> head = words(rest);
        if (head.size() != 1 || !isIdentifier(head[0])) return false;
        const LexRule* first = firstRuleOf(g, head[0]);
        if (first == nullptr) fail("token " + head[0] + " is not defined yet: give its number and its pattern");
        LexRule rule = *first;
        rule.description.clear();
        rule.line = line_;
        g.lists.back().rules.push_back(std::move(rule));
        return true;
    }

    void readToken(Grammar& g, const std::string& rest) {
        if (g.lists.empty()) fail("token before the first list");
        if (readTokenAgain(g, rest)) return;
        std::size_t colon = rest.find(" : ");
        // A description may stand among the options; the pattern starts after it.
        std::size_t quote = rest.find('"');
        std::string description;
        std::string headText = rest.substr(0, colon);
        if (quote != std::string::npos && (colon == std::string::npos || quote < colon)) {
            std::size_t end = 0;
            description = quoted(rest, quote, &end);
            colon = rest.find(" : ", end);
            headText = rest.substr(0, quote) + " " + rest.substr(end, colon == std::string::npos ? colon : colon - end);
        }
        if (colon == std::string::npos) fail("token rule needs ' : ' before its pattern");
        std::vector<std::string> head = words(headText);
        LexRule rule;
        rule.description = description;
        rule.pattern = trim(rest.substr(colon + 3));
        rule.line = line_;
        if (head.empty()) fail("token rule needs a number and a name");
        // A token defined before is named without its number.
        std::size_t options = 2;
        if (const LexRule* first = isIdentifier(head[0]) ? firstRuleOf(g, head[0]) : nullptr) {
            rule.token = first->token;
            rule.name = head[0];
            options = 1;
        } else {
            if (isIdentifier(head[0])) fail("token " + head[0] + " is not defined yet: give its number");
            if (head.size() < 2) fail("token rule needs a number and a name");
            rule.token = number(head[0]);
            rule.name = head[1];
        }
        if (!isIdentifier(rule.name)) fail("bad token name '" + rule.name + "'");
        if (rule.pattern.empty()) fail("empty pattern");
        for (std::size_t i = options; i < head.size(); ++i) {
            const std::string& w = head[i];
            if (w == "discard") {
                rule.discard = true;
            } else if (w == "weak") {
                rule.weak = true;
            } else if (w == "give-back-last") {
                rule.giveBackLast = true;
            } else if (w == "pop") {
                if (rule.action != ListAction::None) fail("two list actions");
                rule.action = ListAction::Pop;
            } else if (w == "push" || w == "switch") {
                if (rule.action != ListAction::None) fail("two list actions");
                if (i + 1 >= head.size()) fail(w + " needs a list number");
                rule.action = w == "push" ? ListAction::Push : ListAction::Switch;
                rule.targetList = number(head[++i]);
            } else {
                fail("unknown token option '" + w + "'");
            }
        }
        auto known = g.tokenNames.find(rule.token);
        if (known != g.tokenNames.end() && known->second != rule.name)
            fail("token " + std::to_string(rule.token) + " named both " + known->second + " and " + rule.name);
        for (const auto& [num, nm] : g.tokenNames)
            if (nm == rule.name && num != rule.token) fail("name " + nm + " used for two token numbers");
        g.tokenNames[rule.token] = rule.name;
        if (!rule.description.empty()) {
            auto [it, added] = g.tokenDescriptions.emplace(rule.token, rule.description);
            if (!added) fail("token " + rule.name + " is described twice");
        }
        g.lists.back().rules.push_back(std::move(rule));
    }

    void readProduction(Grammar& g, const std::string& rest) {
        std::size_t eq = rest.find('=');
        if (eq == std::string::npos) fail("production needs '='");
        std::vector<std::string> head = words(rest.substr(0, eq));
        if (head.size() != 2) fail("production needs a number and a left side");
        Production p;
        p.number = number(head[0]);
        p.lhs = head[1];
        // Marks (@set) stand after the right side.
        for (std::string& w : words(rest.substr(eq + 1))) {
            if (w[0] == '@') {
                std::string mark = w.substr(1);
                if (!isIdentifier(mark)) fail("bad production mark '" + w + "'");
                if (std::find(p.marks.begin(), p.marks.end(), mark) != p.marks.end()) fail("mark " + w + " given twice");
                p.marks.push_back(std::move(mark));
            } else {
                if (!p.marks.empty()) fail("the marks of a production stand after its right side");
                p.rhs.push_back(std::move(w));
            }
        }
        p.line = line_;
        if (p.number != g.productions.size())
            fail("production " + std::to_string(p.number) + " out of order: expected " +
                 std::to_string(g.productions.size()));
        g.productions.push_back(std::move(p));
    }

    Grammar read(const std::string& text) {
        Grammar g;
        std::istringstream in(text);
        std::string raw;
        while (std::getline(in, raw)) {
            ++line_;
            std::string lineText = trim(raw);
            if (lineText.empty() || lineText[0] == '#') continue;
            std::size_t sp = lineText.find_first_of(" \t");
            std::string key = lineText.substr(0, sp);
            std::string rest = sp == std::string::npos ? "" : trim(lineText.substr(sp));
            if (key == "grammar") {
                g.name = rest;
                if (!isIdentifier(g.name)) fail("bad grammar name");
            } else if (key == "resources") {
                auto w = words(rest);
                if (w.size() != 2) fail("resources needs the LEX and the YACC name");
                g.lexResource = w[0];
                g.yaccResource = w[1];
            } else if (key == "define") {
                std::size_t eq = rest.find('=');
                if (eq == std::string::npos) fail("define needs '='");
                std::string name = trim(rest.substr(0, eq));
                if (!isIdentifier(name)) fail("bad macro name");
                g.macros[name] = trim(rest.substr(eq + 1));
            } else if (key == "discard-start-of-input") {
                g.discardStartOfInput = true;
            } else if (key == "list") {
                auto w = words(rest);
                if (w.empty()) fail("list needs a number");
                LexList l;
                l.index = number(w[0]);
                if (l.index != g.lists.size()) fail("lists must be numbered in order from 0");
                std::string after = trim(rest.substr(w[0].size()));
                if (!after.empty() && after[0] == '"') {
                    std::size_t end = 0;
                    l.stateWords = quoted(after, 0, &end);
                    after = trim(after.substr(end));
                }
                l.description = after;
                g.lists.push_back(std::move(l));
            } else if (key == "token") {
                readToken(g, rest);
            } else if (key == "left" || key == "right" || key == "nonassoc") {
                PrecedenceLevel level;
                level.assoc = key == "left" ? Assoc::Left : key == "right" ? Assoc::Right : Assoc::NonAssoc;
                level.tokens = words(rest);
                if (level.tokens.empty()) fail(key + " needs tokens");
                g.precedence.push_back(std::move(level));
            } else if (key == "nonterminals") {
                for (auto& w : words(rest)) g.nonterminalOrder.push_back(w);
            } else if (key == "production") {
                readProduction(g, rest);
            } else {
                fail("unknown directive '" + key + "'");
            }
        }
        line_ = 0;
        if (g.name.empty()) fail("missing 'grammar' line");
        if (g.lexResource.empty()) fail("missing 'resources' line");
        for (const auto& l : g.lists)
            for (const auto& r : l.rules)
                if ((r.action == ListAction::Push || r.action == ListAction::Switch) &&
                    r.targetList >= g.lists.size()) {
                    line_ = r.line;
                    fail("token " + r.name + " enters list " + std::to_string(r.targetList) + ", which does not exist");
                }
        return g;
    }

private:
    std::string origin_;
    int line_ = 0;
};

}  // namespace

Grammar ParseGrammar(const std::string& text, const std::string& origin) {
    return Reader(origin).read(text);
}

}  // namespace tsgrammar
