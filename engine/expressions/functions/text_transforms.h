// The character rewrites behind the page-format functions (ParagraphFormat, StripCR,
// HTMLEditFormat, HTMLCodeFormat, URLEncodedFormat) and the column joins of ValueList and
// QuotedValueList. Each reads its input once and appends unchanged runs in one piece.
#pragma once

#include <string>
#include <string_view>

#include "engine/expressions/text_origin.h"

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
// The plain list is values throughout, its commas too (they are never quotes).
class CValueListTransform : public CTextTransform {
public:
    void Transform(std::string& out, std::string_view text) const override;
    // Rewrites one value in place; the plain list leaves it as it is.
    virtual void TransformValue(std::string& value) const;
    // Appends one cell as the list writes it. sqlText: the list goes into SQL text, which
    // doubles the quotes of values once, at the end.
    virtual void AppendValue(CTracedText& out, std::string value, bool sqlText) const;
    virtual void AppendSeparator(CTracedText& out) const;
    // column: 1-based position in the query.
    void JoinColumn(CTracedText& out, CExpressionQuery& query, int column, bool sqlText) const;
};

// Each value in single quotes with its own single quotes doubled, as SQL writes them. The
// enclosing quotes are the list's own; in SQL text a value's quotes are left to the end's
// doubling, so that no cut of the list can split a pair.
class CQuotedValueListTransform : public CValueListTransform {
public:
    void TransformValue(std::string& value) const override;
    void AppendValue(CTracedText& out, std::string value, bool sqlText) const override;
    void AppendSeparator(CTracedText& out) const override;
};
