#pragma once
// Named token and production numbers of both grammars, for the reduce dispatch of the
// template interpreter and of the expression evaluator.

#include "engine/grammar/expression_symbols.h"
#include "engine/grammar/template_symbols.h"
