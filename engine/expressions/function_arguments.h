// Steps that the built-in functions' DoIt share: the open-maximum count check and the
// argument access by position.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "engine/expressions/function_registry.h"

// The argument at a 0-based place; the registry has checked that it is there.
inline ExprYaccStackElement& Arg(CExprArgumentList* arguments, std::size_t i) {
    return *(*arguments)[i];
}

inline std::size_t ArgumentCount(const CExprArgumentList* arguments) {
    return arguments ? arguments->size() : 0;
}

// Throws 0x4009 "The function <name> takes at most <most> arguments; ..." when more were
// given. The registry checks only the lower bound of an open count.
void CheckAtMostArguments(const CTSFunction& function, const CExprArgumentList* arguments, unsigned most);

// The result of a function that cuts, searches or places characters (Left, Mid, Insert,
// Replace, the list functions...): each character keeps its origin while the text worked
// on and every argument that decides where a cut or an insertion falls (position, count,
// delimiters, search text) are the template's own. When one of them came from a value,
// the value chose which of the author's characters stand and where, so the whole result
// is from a value. Null entries are absent optional arguments.
void SetMovedText(ExprYaccStackElement* result, CTracedText text,
                  std::initializer_list<const ExprYaccStackElement*> deciding);
// Whether one of the deciding arguments came from a value: a function that builds a long
// result can then build it without per-character marks (CTracedText::MarkValue first).
bool DecidedByValue(std::initializer_list<const ExprYaccStackElement*> deciding);
