// The character rewrites behind the page-format functions (ParagraphFormat, StripCR,
// HTMLEditFormat, HTMLCodeFormat, URLEncodedFormat) and the column joins of ValueList and
// QuotedValueList. Each reads its input once and appends unchanged runs in one piece.
#pragma once

#include <string>
#include <string_view>

class CExpressionQuery;

class CTextTransform {
public:
    virtual ~CTextTransform() = default;
    // Writes the transformed text into out (replacing what it held).
    virtual void Transform(std::string& out, std::string_view text) const = 0;
};

// Carriage returns dropped; a line feed followed by carriage return and line feed (a blank
// line) becomes " <P>\n", any other line feed one blank; " <P>" closes the text.
class CParagraphTransform : public CTextTransform {
public:
    void Transform(std::string& out, std::string_view text) const override;
};

class CStripCRTransform : public CTextTransform {
public:
    void Transform(std::string& out, std::string_view text) const override;
};

// " & < > become entities and carriage returns are dropped. The single quote stays as it
// is, so the output is not safe inside a single-quoted HTML attribute.
class CHTMLEditTransform : public CTextTransform {
public:
    void Transform(std::string& out, std::string_view text) const override;
};

// "<PRE>", the HTML-escaped text, "</PRE>".
class CHTMLCodeTransform : public CTextTransform {
public:
    void Transform(std::string& out, std::string_view text) const override;
};

// ASCII letters and digits stay, a blank becomes "+", every other byte "%XX".
class CURLEncodedTransform : public CTextTransform {
public:
    void Transform(std::string& out, std::string_view text) const override;
};

// A query column joined with "," (no blanks); each value passes TransformValue first.
class CValueListTransform : public CTextTransform {
public:
    void Transform(std::string& out, std::string_view text) const override;
    // Rewrites one value in place; the plain list leaves it as it is.
    virtual void TransformValue(std::string& value) const;
    // column: 1-based position in the query.
    void JoinColumn(std::string& out, CExpressionQuery& query, int column) const;
};

// Each value in single quotes with its own single quotes doubled, as SQL writes them.
class CQuotedValueListTransform : public CValueListTransform {
public:
    void TransformValue(std::string& value) const override;
};
