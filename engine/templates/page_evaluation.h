// Evaluation for the page's tags, through the engine's expression language.
#pragma once

#include <string>

#include "engine/templates/expression_bridge.h"

class CQueryPage;

// row -1 takes the current loop row; contextFlag 1 (SQL text) doubles the single
// quotes that came from values; mode is an EvaluationMode.
std::string EvaluateOnPage(CQueryPage& page, const std::string& text, int row, int contextFlag, int mode);
// An expression's value with the origin of each character, traced as in SQL text but with
// nothing quoted: a report's formulas quote what came from values themselves.
CTracedText EvaluateTracedOnPage(CQueryPage& page, const std::string& expression, int row);
// A condition is true when it evaluates to "Yes" in any case.
bool EvaluateConditionOnPage(CQueryPage& page, const std::string& condition, int row);
