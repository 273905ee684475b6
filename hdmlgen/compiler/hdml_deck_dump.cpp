#include "hdmlgen/compiler/hdml_deck_dump.h"

#include <cstdint>
#include <vector>

#include "hdmlgen/compiler/hdml_markup.h"
#include "interfaces/hdml_deck_format.h"

namespace hdml {

namespace {

// Characters that would read as markup, and a literal dollar ("$$"), as entities;
// blanks at either end as references, so they survive the source layout.
std::string Escape(const std::string& text, bool edgeBlanks) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if (c == '$' && i + 1 < text.size() && text[i + 1] == '$') {
            out += "&dol;";
            ++i;
        } else if (c == ' ' && edgeBlanks && (i == 0 || i + 1 == text.size()))
            out += "&#32;";
        else if (static_cast<unsigned char>(c) < 32)
            out += "&#" + std::to_string(static_cast<int>(c)) + ";";
        else
            out += c;
    }
    return out;
}

class DeckReader {
public:
    explicit DeckReader(const std::string& deck) : d_(deck) {}

    bool Run(std::string& text, std::string& error) {
        if (d_.size() < 6 || d_.compare(0, 4, kDeckMagic, 4) != 0) return Fail(error, "not a compiled HDML deck");
        pos_ = 4;
        if (Byte() != kDeckMajorVersion) return Fail(error, "unsupported deck version");
        Byte();
        std::size_t count = U16();
        for (std::size_t k = 0; k < count && ok_; ++k) {
            std::size_t length = U16();
            if (!ok_ || d_.size() - pos_ < length) return Fail(error, "truncated string table");
            strings_.push_back(d_.substr(pos_, length));
            pos_ += length;
        }
        std::vector<Element> open;
        for (;;) {
            if (!ok_) return Fail(error, "truncated deck");
            std::uint8_t token = Byte();
            if (!ok_) return Fail(error, "truncated deck");
            if (token == kEndOfDeck) break;
            std::string indent(open.size() * 2, ' ');
            if (token == kStart || token == kEmpty) {
                Element element = static_cast<Element>(Byte());
                if (!ok_ || ElementName(element).empty()) return Fail(error, "unknown element code");
                std::string line = indent + "<" + std::string(ElementName(element));
                std::size_t n = Byte();
                for (std::size_t k = 0; k < n; ++k) {
                    std::uint8_t code = Byte();
                    const std::string* value = String();
                    if (!ok_ || !value || AttributeName(code).empty()) return Fail(error, "bad attribute");
                    line += " " + std::string(AttributeName(code)) + "=\"" + Escape(*value, false) + "\"";
                }
                text += line + ">\n";
                if (token == kStart)
                    open.push_back(element);
                else if (!IsEmptyElement(element))
                    text += indent + "</" + std::string(ElementName(element)) + ">\n";
            } else if (token == kText) {
                const std::string* value = String();
                if (!ok_ || !value) return Fail(error, "bad text");
                text += indent + Escape(*value, true) + "\n";
            } else if (token == kEnd) {
                if (open.empty()) return Fail(error, "end without start");
                text += std::string((open.size() - 1) * 2, ' ') + "</" + std::string(ElementName(open.back())) + ">\n";
                open.pop_back();
            } else {
                return Fail(error, "unknown token");
            }
        }
        if (!open.empty()) return Fail(error, "unclosed element");
        if (pos_ != d_.size()) return Fail(error, "bytes after the end of the deck");
        return true;
    }

private:
    static bool Fail(std::string& error, const char* why) {
        error = why;
        return false;
    }
    std::uint8_t Byte() {
        if (pos_ >= d_.size()) {
            ok_ = false;
            return 0;
        }
        return static_cast<std::uint8_t>(d_[pos_++]);
    }
    std::size_t U16() {
        std::size_t high = Byte();
        return high << 8 | Byte();
    }
    const std::string* String() {
        std::size_t index = U16();
        return index < strings_.size() ? &strings_[index] : nullptr;
    }

    const std::string& d_;
    std::size_t pos_ = 0;
    bool ok_ = true;
    std::vector<std::string> strings_;
};

}  // namespace

bool DumpDeck(const std::string& deck, std::string& text, std::string& error) {
    text.clear();
    return DeckReader(deck).Run(text, error);
}

}  // namespace hdml
