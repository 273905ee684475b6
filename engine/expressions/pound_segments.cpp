// Cutting template text into literal runs and #...# expressions, and rewriting a quoted
// template text as one string expression.
#include <memory>
#include <vector>

#include "engine/expressions/expression_driver.h"

namespace {

[[noreturn]] void ThrowUnmatched() {
    ThrowExpressionError(expr_code::kInvalidFormat, kUnmatchedDelimitersText);
}

void AppendLiteral(ExpressionSegmentList& list, const char* from, const char* to, bool doubledPounds) {
    ExpressionSegment segment;
    segment.kind = 0;
    if (doubledPounds) {
        for (const char* p = from; p < to; ++p) {
            segment.text += *p;
            if (*p == '#' && p + 1 < to && p[1] == '#') ++p;
        }
    } else {
        segment.text.assign(from, to);
    }
    list.push_back(std::move(segment));
}

}  // namespace

ExpressionSegmentList* SplitPoundExpressions(const char* text) {
    auto list = std::make_unique<ExpressionSegmentList>();
    if (text == nullptr) return list.release();
    std::vector<char> stack;
    const char* start = text;
    const char* p = text;
    bool doubledPounds = false;
    while (*p != '\0') {
        const char c = *p;
        if (c == '"' || c == '\'') {
            if (!stack.empty()) {
                if (stack.back() == c) {
                    if (p[1] == c) {
                        p += 2;
                        continue;
                    }
                    stack.pop_back();
                } else if (stack.back() == '#') {
                    stack.push_back(c);
                }
            }
            ++p;
        } else if (c == '#') {
            if (!stack.empty() && stack.back() == '#') {
                stack.pop_back();
                if (stack.empty()) {
                    ExpressionSegment segment;
                    segment.kind = 2;
                    segment.text.assign(start, p);
                    list->push_back(std::move(segment));
                    start = ++p;
                    continue;
                }
                ++p;
            } else if (!stack.empty()) {
                stack.push_back('#');
                ++p;
            } else if (p[1] == '#') {
                doubledPounds = true;
                p += 2;
            } else {
                stack.push_back('#');
                AppendLiteral(*list, start, p, doubledPounds);
                doubledPounds = false;
                start = ++p;
            }
        } else {
            ++p;
        }
    }
    if (!stack.empty()) ThrowUnmatched();
    if (p != start) AppendLiteral(*list, start, p, doubledPounds);
    return list.release();
}

void FreeExpressionSegments(ExpressionSegmentList* segments) {
    delete segments;
}

void CExpressionEvaluationDriver::ConvertToStringExpression(const char* text, std::string& output) {
    output.clear();
    if (text == nullptr || *text == '\0') ThrowUnmatched();
    std::string out;
    out.reserve(std::char_traits<char>::length(text) * 2 + 1);
    std::vector<char> stack;
    const char first = text[0];
    stack.push_back(first);
    out += first;
    for (const char* p = text + 1; *p != '\0'; ++p) {
        if (stack.empty()) ThrowUnmatched();
        const char c = *p;
        if (c == '"' || c == '\'') {
            if (stack.size() == 1 && c == first && p[1] != '\0') {
                // An inner quote of the enclosing kind: escaped by doubling, exactly twice.
                out += c;
            } else if (c == stack.back() && p[1] == c) {
                out += c;
                ++p;
            } else if (c == stack.back()) {
                stack.pop_back();
            } else if (stack.back() == '#') {
                stack.push_back(c);
            }
            out += c;
        } else if (c == '#') {
            if (stack.back() == '#') {
                stack.pop_back();
            } else if (p[1] == '#') {
                out += c;
                ++p;
            } else {
                stack.push_back('#');
            }
            out += c;
        } else {
            out += c;
        }
    }
    if (!stack.empty()) ThrowUnmatched();
    output = std::move(out);
}
