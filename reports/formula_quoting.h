// How values go into a formula of the print engine's language (texts in '...' or "...", a
// doubled quote standing for itself; field and formula references in {...}): a value, which
// may be the request's, stays one value and never becomes formula syntax.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaro::reports {

// A run of a formula as a template assembled it: the template's own text, or a value put in
// by a #...# expression (a variable, a column, anything computed from them).
struct FormulaPiece {
    std::string text;
    bool value = false;
};

// text as a text of the formula language: in double quotes, each double quote doubled.
std::string FormulaTextLiteral(std::string_view text);

// Whether text is one whole text of the language: a quote at each end and every quote of
// that kind inside it doubled.
bool IsFormulaTextLiteral(std::string_view text);

// The formula the pieces make. The template's text stays as written; each value goes in
// by where it stands in it:
// - inside a text the template opened: as part of that text, its quote doubled;
// - inside a reference {...}: as part of the name, without the '}' that would end it;
// - anywhere else: a plain number (digits with one optional point, an optional leading '-')
//   as written, any other value as a text of its own (FormulaTextLiteral).
std::string QuoteFormulaValues(const std::vector<FormulaPiece>& pieces);

}  // namespace tessaro::reports
