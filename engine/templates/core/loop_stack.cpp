#include "engine/templates/core/loop_stack.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/templates/core/query_results.h"
#include "support/query_not_executed.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

enum : unsigned { kList = 1, kQuery = 2, kIndex = 4, kCondition = 8 };

CWebMessage ConstructList(unsigned bits) {
    CWebMessage text = "<VL>";
    if (bits & kQuery) text += "<LI>QUERY=QueryName [STARTROW=StartRowNumber] [EndRow=EndRowNumber] loop";
    if (bits & kList) text += "<LI>LIST=ListName INDEX=IndexName loop";
    if (bits & kIndex) text += "<LI>INDEX=IndexName FROM=StartValue TO=EndValue [STEP=StepValue] loop";
    if (bits & kCondition) text += "<LI>CONDITION=BooleanConditionInsideString loop";
    return text + "\n</VL>";
}

[[noreturn]] void Ambiguous(unsigned bits) {
    ThrowLoopError(
        CWebMessage("A TSLOOP tag must have attributes that uniquely identify a loop construct. You have used the tag "
                    "with ambiguous attributes which can identify one of the following:<P>") +
        ConstructList(bits));
}

double ToNumber(const std::string& attribute, const std::string& value) {
    std::string text = TrimmedCopy(value);
    errno = 0;
    char* end = nullptr;
    double number = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || errno == ERANGE || !std::isfinite(number))
        ThrowLoopError(CWebMessage("The ") + attribute + " attribute of the TSLOOP tag, which evaluates to " + value +
                       ", is not a number. The value of this attribute must be a valid numeric expression.");
    return number;
}

int ToRow(const std::string& attribute, const std::string& value) {
    double number = ToNumber(attribute, value);
    if (number > 2147483647.0) return 2147483647;
    if (number < -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(number);
}

bool IsVariableName(const std::string& name) {
    // An optional scope prefix, then a name.
    std::size_t dot = name.find('.');
    std::string last = dot == std::string::npos ? name : name.substr(dot + 1);
    std::string scope = dot == std::string::npos ? std::string() : name.substr(0, dot);
    auto isName = [](const std::string& text) {
        if (text.empty() || !(std::isalpha(static_cast<unsigned char>(text[0])) || text[0] == '_')) return false;
        for (char c : text)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
        return true;
    };
    return isName(last) && (dot == std::string::npos || isName(scope));
}

void CheckIndexName(const std::string& index) {
    if (!IsVariableName(index))
        ThrowLoopError(CWebMessage("The INDEX attribute of the TSLOOP tag, which evaluates to ") + index +
                       ", is not a valid variable name.");
}

}  // namespace

void ThrowLoopError(const CWebMessage& text) {
    throw new CWebException(text, "An error occurred while attempting to process a TSLOOP tag.");
}

std::string FormatLoopNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.12G", value);
    return text;
}

class CLoopIterator {
public:
    virtual ~CLoopIterator() = default;
    // True when the body runs (first time / once more).
    virtual bool First() = 0;
    virtual bool Next() = 0;
    virtual CTSXQueryImp* Query() const { return nullptr; }
    virtual int Row() const { return 0; }
    bool broken = false;
};

namespace {

class CQueryIterator : public CLoopIterator {
public:
    CQueryIterator(CTSXQueryImp* query, int startRow, int endRow) : m_query(query), m_start(startRow) {
        // Rows past the result do not exist, whatever ENDROW says.
        int count = query->GetRowCount();
        m_end = (endRow < 0 || endRow > count) ? count : endRow;
    }
    bool First() override {
        if (m_end < m_start) return false;
        m_row = m_start;
        return true;
    }
    bool Next() override { return ++m_row <= m_end; }
    CTSXQueryImp* Query() const override { return m_query; }
    int Row() const override { return m_row; }

private:
    CTSXQueryImp* m_query;
    int m_start;
    int m_end;
    int m_row = 0;
};

class CListIterator : public CLoopIterator {
public:
    CListIterator(CLoopHost& host, std::string index, std::string list, std::string delimiters)
        : m_host(host), m_index(std::move(index)), m_list(std::move(list)), m_delimiters(std::move(delimiters)) {}
    bool First() override { return Advance(); }
    bool Next() override { return Advance(); }

private:
    bool Advance() {
        std::size_t begin = m_list.find_first_not_of(m_delimiters, m_at);
        if (begin == std::string::npos) return false;
        std::size_t end = m_list.find_first_of(m_delimiters, begin);
        if (end == std::string::npos) end = m_list.size();
        m_host.SetIndexVariable(m_index, m_list.substr(begin, end - begin));
        m_at = end;
        return true;
    }

    CLoopHost& m_host;
    std::string m_index;
    std::string m_list;
    std::string m_delimiters;
    std::size_t m_at = 0;
};

class CIndexIterator : public CLoopIterator {
public:
    CIndexIterator(CLoopHost& host, std::string index, double from, double to, double step)
        : m_host(host), m_index(std::move(index)), m_current(from), m_to(to), m_step(step) {}
    bool First() override { return Test(); }
    bool Next() override {
        m_current += m_step;
        return Test();
    }

private:
    bool Test() {
        m_host.SetIndexVariable(m_index, FormatLoopNumber(m_current));
        return m_step > 0 ? m_current <= m_to : m_current >= m_to;
    }

    CLoopHost& m_host;
    std::string m_index;
    double m_current;
    double m_to;
    double m_step;
};

class CConditionIterator : public CLoopIterator {
public:
    CConditionIterator(CLoopHost& host, std::string condition) : m_host(host), m_condition(std::move(condition)) {}
    bool First() override { return m_host.EvaluateCondition(m_condition); }
    bool Next() override { return m_host.EvaluateCondition(m_condition); }

private:
    CLoopHost& m_host;
    std::string m_condition;
};

}  // namespace

CLoopStack::CLoopStack(CLoopHost& host) : m_host(host) {}

CLoopStack::~CLoopStack() = default;

void CLoopStack::ResetAttributes() {
    m_kind = 0;
    m_query = nullptr;
    m_startRow.clear();
    m_endRow.clear();
    m_list.clear();
    m_delimiters.clear();
    m_condition.clear();
    m_index.clear();
    m_from.clear();
    m_to.clear();
    m_step.clear();
}

void CLoopStack::CombineKind(unsigned bits) {
    if (m_kind == 0) {
        m_kind = bits;
        return;
    }
    if ((m_kind & bits) == 0) Ambiguous(m_kind | bits);
    m_kind &= bits;
}

void CLoopStack::SetQuery(const std::string& value) {
    CombineKind(kQuery);
    std::string name = UpperCopy(value);
    m_query = m_host.FindQuery(name);
    if (m_query == nullptr)
        throw new CWebException(QueryNotYetExecutedText(name), "Invalid QUERY name specified");
}

void CLoopStack::SetStartRow(const std::string& value) {
    CombineKind(kQuery);
    m_startRow = value;
}

void CLoopStack::SetEndRow(const std::string& value) {
    CombineKind(kQuery);
    m_endRow = value;
}

void CLoopStack::SetList(const std::string& value) {
    CombineKind(kList);
    m_list = value;
}

void CLoopStack::SetDelimiters(const std::string& value) {
    CombineKind(kList);
    m_delimiters = value;
}

void CLoopStack::SetCondition(const std::string& rawValue) {
    CombineKind(kCondition);
    m_condition = rawValue;
}

void CLoopStack::SetIndex(const std::string& value) {
    CombineKind(kList | kIndex);
    m_index = value;
}

void CLoopStack::SetFrom(const std::string& value) {
    CombineKind(kIndex);
    m_from = value;
}

void CLoopStack::SetTo(const std::string& value) {
    CombineKind(kIndex);
    m_to = value;
}

void CLoopStack::SetStep(const std::string& value) {
    CombineKind(kIndex);
    m_step = value;
}

void CLoopStack::SaveInput() {
    m_snapshots.push_back(m_host.SaveInput());
}

void CLoopStack::LoopBegin() {
    ++m_depth;
    if (IsSkipping()) return;
    m_host.SaveConditionals();
    if (!Begin()) {
        SkipFrom();
        m_skippedLoop = true;
    } else {
        m_skippedLoop = false;
    }
}

bool CLoopStack::Begin() {
    if (m_kind == 0)
        ThrowLoopError(
            CWebMessage("A TSLOOP tag must have attributes that uniquely identify one of the following types of loop "
                        "constructs:<P>") +
            ConstructList(kList | kQuery | kIndex | kCondition) + "<P>You have used the tag with no attributes.");
    if ((m_kind & (m_kind - 1)) != 0) Ambiguous(m_kind);

    std::unique_ptr<CLoopIterator> iterator;
    switch (m_kind) {
        case kQuery: {
            int start = 1, end = -1;
            if (!m_startRow.empty()) {
                start = ToRow("STARTROW", m_startRow);
                if (start < 1)
                    ThrowLoopError(CWebMessage("The STARTROW attribute of the TSLOOP tag, which evaluates to ") +
                                   std::to_string(start) + ", must be a positive number.");
            }
            if (!m_endRow.empty()) {
                end = ToRow("ENDROW", m_endRow);
                if (end < 0)
                    ThrowLoopError(CWebMessage("The ENDROW attribute of the TSLOOP tag, which evaluates to ") +
                                   std::to_string(end) + ", must be a non-negative number.");
            }
            // QUERY may be missing when only STARTROW/ENDROW were given.
            if (m_query == nullptr)
                ThrowLoopError(
                    CWebMessage(
                        "A TSLOOP tag must have attributes that uniquely identify a loop construct. You have used "
                        "the tag with ambiguous attributes which can identify one of the following:<P>") +
                    ConstructList(kQuery));
            iterator = std::make_unique<CQueryIterator>(m_query, start, end);
            break;
        }
        case kList:
            CheckIndexName(m_index);
            iterator =
                std::make_unique<CListIterator>(m_host, m_index, m_list, m_delimiters.empty() ? "," : m_delimiters);
            break;
        case kIndex: {
            CheckIndexName(m_index);
            double from = ToNumber("FROM", m_from);
            double to = ToNumber("TO", m_to);
            double step = m_step.empty() ? 1 : ToNumber("STEP", m_step);
            iterator = std::make_unique<CIndexIterator>(m_host, m_index, from, to, step);
            break;
        }
        default:
            iterator = std::make_unique<CConditionIterator>(m_host, m_condition);
            break;
    }
    m_host.CheckRequestTime();
    if (!iterator->First()) return false;
    m_iterators.push_back(std::move(iterator));
    return true;
}

void CLoopStack::LoopEnd() {
    if (m_skipLevel < m_depth) {
        --m_depth;
        return;
    }
    if (End()) {
        --m_depth;
        m_host.RestoreConditionals();
    }
    if (m_depth < m_skipLevel) m_skipLevel = 0x7FFFFFFF;
}

bool CLoopStack::End() {
    constexpr const char* kMoreEnds =
        "The TSLOOP and /TSLOOP tags in this template are not matched. There are more /TSLOOP tags than there are "
        "TSLOOP tags.";
    if (m_skippedLoop) {
        m_skippedLoop = false;
        if (m_snapshots.empty())
            ThrowLoopError(
                "The TSLOOP and /TSLOOP tags in this template are not matched. There are more /TSLOOP tags "
                "than there are TSLOOP tags, or there is a TSLOOP tag with no attributes.");
        m_snapshots.pop_back();
        return true;
    }
    if (m_iterators.empty() || m_snapshots.empty()) ThrowLoopError(kMoreEnds);
    // A /TSLOOP can only close a loop of its own template file.
    if (m_snapshots.back().owner != m_host.CurrentInputOwner()) ThrowLoopError(kMoreEnds);
    CLoopIterator& iterator = *m_iterators.back();
    m_host.CheckRequestTime();
    if (iterator.broken || !iterator.Next()) {
        m_iterators.pop_back();
        m_snapshots.pop_back();
        return true;
    }
    m_host.RewindInput(m_snapshots.back());
    return false;
}

void CLoopStack::LoopBreak() {
    if (m_iterators.empty()) ThrowLoopError("An unexpected error occurred while breaking out of loop.");
    m_iterators.back()->broken = true;
    SkipFrom();
}

CTSXQueryImp* CLoopStack::CurrentQuery() const {
    for (auto it = m_iterators.rbegin(); it != m_iterators.rend(); ++it)
        if ((*it)->Query() != nullptr) return (*it)->Query();
    return nullptr;
}

int CLoopStack::CurrentQueryRow() const {
    for (auto it = m_iterators.rbegin(); it != m_iterators.rend(); ++it)
        if ((*it)->Query() != nullptr) return (*it)->Row();
    ThrowLoopError("An unexpected error occurred while accessing a query row.");
}

namespace {

[[noreturn]] void ThrowMoreLoopsThanEnds() {
    ThrowLoopError(
        "The TSLOOP and /TSLOOP tags in this template are not matched. There are more TSLOOP tags "
        "than there are /TSLOOP tags.");
}

}  // namespace

void CLoopStack::CheckBalanced() const {
    // A loop without iterations keeps only its snapshot.
    if (!m_iterators.empty() || !m_snapshots.empty()) ThrowMoreLoopsThanEnds();
}

void CLoopStack::CheckClosedIn(const void* owner) const {
    for (const LoopInputSnapshot& snapshot : m_snapshots)
        if (snapshot.owner == owner) ThrowMoreLoopsThanEnds();
}
