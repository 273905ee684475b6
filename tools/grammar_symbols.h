#pragma once
// Named token and production numbers of both grammars, for the reduce dispatch of the
// template interpreter and of the expression evaluator.

#include "tools/expression_symbols.h"
#include "tools/template_symbols.h"
