// The HTML of a message a page shows (an error's title and detail, a report's failure text):
// markup the code writes, and values, which are escaped as they join it. A literal of the code
// is markup; a run-time text is always a value, so a message cannot put request text into the
// page as markup by forgetting to escape it. Text that is HTML already (another message, the
// page's own excerpt of the template) comes in only through FromHtml, by name. A value of
// megabytes (an expression or a field the request chose) is quoted by its start, cut and
// marked (QuotedExcerpt), so a message stays of a reasonable size.
//
//     CWebMessage("The query name '") + name + "' is not valid."
#pragma once

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>

// A run-time text that joins a message as a value.
template <class T>
concept MessageValue = std::same_as<T, std::string> || std::same_as<T, std::string_view>;

class CWebMessage {
public:
    CWebMessage() = default;
    // Markup: only a literal of the code (or another constant text) gets here, never a text
    // made at run time (which fails to compile: pass it as a value).
    consteval CWebMessage(const char* markup) : m_markup(markup) {}
    CWebMessage(const CWebMessage& other);
    CWebMessage(CWebMessage&& other) noexcept;
    CWebMessage& operator=(const CWebMessage& other);
    CWebMessage& operator=(CWebMessage&& other) noexcept;
    constexpr ~CWebMessage() { delete m_html; }

    // Text that is HTML already, taken as it stands.
    static CWebMessage FromHtml(std::string html);
    // A value on its own, escaped.
    static CWebMessage Value(std::string_view text);
    // The pattern with each "%s" in turn replaced by the next value, escaped.
    template <MessageValue... T>
    static CWebMessage Fill(const CWebMessage& pattern, const T&... values) {
        return FillValues(pattern, {std::string_view(values)...});
    }

    CWebMessage& operator+=(const CWebMessage& more);
    template <MessageValue T>
    CWebMessage& operator+=(const T& value) {
        return AppendValue(value);
    }

    std::string Html() const;
    bool Empty() const;

    friend CWebMessage operator+(CWebMessage left, const CWebMessage& right) { return std::move(left += right); }
    template <MessageValue T>
    friend CWebMessage operator+(CWebMessage left, const T& value) {
        return std::move(left.AppendValue(value));
    }
    template <MessageValue T>
    friend CWebMessage operator+(const T& value, const CWebMessage& right) {
        return Value(value) += right;
    }

private:
    static CWebMessage FillValues(const CWebMessage& pattern, std::initializer_list<std::string_view> values);
    CWebMessage& AppendValue(std::string_view value);
    std::string& Own();

    // A message is its literal until something joins it; then all of it is in m_html.
    const char* m_markup = nullptr;
    std::string* m_html = nullptr;
};
