#include "engine/templates/core/output_section.h"

#include <algorithm>
#include <cctype>

#include "engine/templates/core/if_block_stack.h"
#include "engine/templates/core/query_results.h"
#include "engine/templates/core/reply_header_rules.h"
#include "platform/checked_file.h"
#include "support/query_not_executed.h"
#include "support/number_parse.h"
#include "support/runtime_file_gate.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

constexpr const char* kMailSyntaxTitle = "Syntax error in TSMAIL tag";

// A bare name (scope.name included) can be resolved once for the whole section;
// anything else is an expression evaluated per row.
bool IsSimpleName(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.')) return false;
    return true;
}

class CTextNode : public CTemplateNode {
public:
    CTextNode(COutputSectionHost& host, const COutputSection& section, std::string text, long line)
        : CTemplateNode(line), m_host(host), m_section(section), m_text(std::move(text)) {}

    void Execute(int row, std::string& out, CIfBlockStack& ifs) override {
        if (!ifs.IsOutputOn()) return;
        if (!m_split) Split(row);
        int loopRow = 0;
        bool noQuery = m_section.GetEffectiveQuery().empty();
        if ((row == -1 || (row == 0 && noQuery)) && m_host.LoopQueryRow(loopRow)) row = loopRow - 1;
        int columnRow = row == -1 ? 0 : row;
        CTracedText* runs = m_section.RecordedRuns();
        for (const Segment& s : m_segments) {
            const std::size_t start = out.size();
            switch (s.kind) {
                case Segment::Literal:
                    out += s.text;
                    break;
                case Segment::Column:
                    out += s.query->GetColumnValue(columnRow, s.column);
                    break;
                case Segment::Expression: {
                    if (m_line > 0) m_host.SetRunningLine(s.line);
                    if (runs == nullptr) {
                        out += m_host.EvaluateExpression(s.text, row);
                        break;
                    }
                    const CTracedText value = m_host.EvaluateTracedExpression(s.text, row);
                    out += value.Text();
                    runs->Append(value);
                    continue;
                }
            }
            if (runs != nullptr)
                runs->AppendUniform(std::string_view(out).substr(start), s.kind != Segment::Literal || s.value);
        }
    }

private:
    struct Segment {
        enum Kind { Literal, Column, Expression } kind;
        std::string text;
        CTSXQueryImp* query = nullptr;
        int column = -1;
        long line = 0;  // where the expression stands in the template
        bool value = false;  // a literal that holds a value resolved once for the section
    };

    void Split(int row) {
        long line = m_line;
        for (auto& [isExpression, text] : m_host.SplitText(m_text)) {
            const long lineFeeds = static_cast<long>(std::count(text.begin(), text.end(), '\n'));
            if (!isExpression) {
                m_segments.push_back({Segment::Literal, text});
                line += lineFeeds;
                continue;
            }
            Segment segment{Segment::Expression, text};
            segment.line = line;
            std::string name = TrimmedCopy(text);
            // Only a value that cannot change within the section is kept; a
            // variable may be changed by a TSSET in the body, so it stays live.
            if (row != -1 && IsSimpleName(name)) {
                if (m_line > 0) m_host.SetRunningLine(line);
                SectionResolution r;
                try {
                    r = m_host.ResolveParameter(name, row);
                } catch (CWebException* e) {
                    // A name no scope knows: the page says where it is written.
                    e->PrependDetail(CWebMessage::FromHtml(m_host.PositionReport()));
                    throw;
                }
                if (r.currentColumn && r.query != nullptr) {
                    segment = {Segment::Column, text, r.query, r.column};
                } else if (r.fixed) {
                    segment = {Segment::Literal, r.value};
                    segment.value = true;
                }
            }
            m_segments.push_back(std::move(segment));
            line += lineFeeds;
        }
        m_split = true;
    }

    COutputSectionHost& m_host;
    const COutputSection& m_section;
    std::string m_text;
    bool m_split = false;
    std::vector<Segment> m_segments;
};

class CIfNode : public CTemplateNode {
public:
    CIfNode(std::string condition, long line) : CTemplateNode(line), m_condition(std::move(condition)) {}
    void Execute(int, std::string&, CIfBlockStack& ifs) override { ifs.If(m_condition); }

private:
    std::string m_condition;
};

class CElseIfNode : public CTemplateNode {
public:
    CElseIfNode(std::string condition, long line) : CTemplateNode(line), m_condition(std::move(condition)) {}
    void Execute(int, std::string&, CIfBlockStack& ifs) override { ifs.ElseIf(m_condition); }

private:
    std::string m_condition;
};

class CElseNode : public CTemplateNode {
public:
    using CTemplateNode::CTemplateNode;
    void Execute(int, std::string&, CIfBlockStack& ifs) override { ifs.Else(); }
};

class CEndIfNode : public CTemplateNode {
public:
    using CTemplateNode::CTemplateNode;
    void Execute(int, std::string&, CIfBlockStack& ifs) override { ifs.EndIf(); }
};

class CSetNode : public CTemplateNode {
public:
    CSetNode(COutputSectionHost& host, std::string name, std::string expression, long line)
        : CTemplateNode(line), m_host(host), m_name(std::move(name)), m_expression(std::move(expression)) {}
    void Execute(int row, std::string&, CIfBlockStack& ifs) override {
        if (ifs.IsOutputOn()) m_host.SetVariableFromExpression(m_name, m_expression, row);
    }

private:
    COutputSectionHost& m_host;
    std::string m_name;
    std::string m_expression;
};

class CGroupNode : public CTemplateNode {
public:
    explicit CGroupNode(std::unique_ptr<COutputSection> section) : m_section(std::move(section)) {}
    void Execute(int row, std::string& out, CIfBlockStack& ifs) override {
        if (ifs.IsOutputOn()) m_section->ExecuteSection(out, false, row);
    }

private:
    std::unique_ptr<COutputSection> m_section;
};

// Restores the page's running-section query when a section run ends.
class RunningQuery {
public:
    RunningQuery(COutputSectionHost& host, const std::string& query)
        : m_host(host), m_previous(host.SetRunningSectionQuery(query)) {}
    ~RunningQuery() { m_host.SetRunningSectionQuery(m_previous); }
    RunningQuery(const RunningQuery&) = delete;
    RunningQuery& operator=(const RunningQuery&) = delete;

private:
    COutputSectionHost& m_host;
    std::string m_previous;
};

}  // namespace

COutputSection::~COutputSection() = default;

void COutputSection::AddText(const std::string& text) {
    // The parser has just read this text: it stands on the line the text ends on (a text that
    // ends with its line feed ends on the line of that line feed).
    if (!m_hasPendingText) {
        long lineFeeds = static_cast<long>(std::count(text.begin(), text.end(), '\n'));
        if (!text.empty() && text.back() == '\n') --lineFeeds;
        m_pendingLine = m_host.CurrentLine() - lineFeeds;
    }
    m_pendingText += text;
    m_hasPendingText = true;
}

void COutputSection::FlushText() {
    if (!m_hasPendingText) return;
    m_nodes.push_back(std::make_unique<CTextNode>(m_host, *this, std::move(m_pendingText), m_pendingLine));
    m_pendingText.clear();
    m_hasPendingText = false;
}

void COutputSection::AddIf(const std::string& condition) {
    FlushText();
    m_nodes.push_back(std::make_unique<CIfNode>(condition, m_host.CurrentLine()));
}

void COutputSection::AddElseIf(const std::string& condition) {
    FlushText();
    m_nodes.push_back(std::make_unique<CElseIfNode>(condition, m_host.CurrentLine()));
}

void COutputSection::AddElse() {
    FlushText();
    m_nodes.push_back(std::make_unique<CElseNode>(m_host.CurrentLine()));
}

void COutputSection::AddEndIf() {
    FlushText();
    m_nodes.push_back(std::make_unique<CEndIfNode>(m_host.CurrentLine()));
}

void COutputSection::AddSet(const std::string& name, const std::string& expression) {
    FlushText();
    m_nodes.push_back(std::make_unique<CSetNode>(m_host, name, expression, m_host.CurrentLine()));
}

void COutputSection::AddNestedSection(std::unique_ptr<COutputSection> section) {
    FlushText();
    m_nodes.push_back(std::make_unique<CGroupNode>(std::move(section)));
}

void COutputSection::SetQuery(const std::string& name) {
    if (m_isMail && (!m_subject.empty() || !m_from.empty() || !m_to.empty() || !m_cc.empty()))
        throw new CWebException(kMailSyntaxTitle,
                                "The syntax of the TSMAIL tag requires that you specify the QUERY attribute prior to "
                                "specifying the SUBJECT, FROM, TO, or CC attributes. ");
    m_query = RemoveChar(name, '"');
}

void COutputSection::SetGroup(const std::string& group) {
    m_group = TrimmedCopy(group);
}

void COutputSection::GroupColumnError(const std::string& column, const std::string& query) const {
    throw new CWebException("Invalid column specified in GROUP attribute for TSOUTPUT tag.",
                            CWebMessage("The column '") + column +
                                "' was specified as the GROUP attribute for a TSOUTPUT section which draws its data "
                                "from the query named '" +
                                query +
                                "'. However, this column is invalid as a GROUP attribute because it is not "
                                "contained in the specified query.<P>");
}

void COutputSection::CheckAttachment(const std::string& path) const {
    // The mailer takes the value as a comma-separated list: each file named there passes
    // the gate, exists as a plain file (a FIFO or a device would hold the mailer), and
    // holds no zero byte.
    bool valid = !PathHasNul(path);
    for (std::size_t start = 0; valid && start <= path.size();) {
        std::size_t comma = path.find(',', start);
        if (comma == std::string::npos) comma = path.size();
        std::string item = TrimmedCopy(path.substr(start, comma - start));
        start = comma + 1;
        if (item.empty()) continue;
        // Judged as the mailer judges it at delivery: by what is opened.
        tessaro::platform::CheckedFile file;
        valid = tessaro::platform::OpenCheckedFile(item, tessaro::platform::FileAccess::Read,
                                                   m_host.PrivateFiles().Check(), &file) == 0;
    }
    if (valid) return;
    throw new CWebException(kMailSyntaxTitle,
                            CWebMessage("An invalid file name (") + path +
                                ") was specified in the MIMEATTACH attribute. Please verify that this file exists and "
                                "that the Tessaro service has the priviliges required to access it.");
}

void COutputSection::Validate() {
    if (m_server.empty()) m_server = m_host.DefaultMailServer();
    if (m_server.empty())
        throw new CWebException("No SMTP Server Specified for TSMAIL",
                                "In order to send SMTP mail messages, Tessaro requires that a default SMTP server be "
                                "specified. You can set the default SMTP server using the 'Mail' page of the Tessaro "
                                "Administrator (here: the value MailServer of the key Mail, set with tsreg; see "
                                "README.md, section \"Sending mail\").<P>");
    if (m_subject.empty())
        throw new CWebException(kMailSyntaxTitle,
                                "The TSMAIL tag requires the inclusion of the SUBJECT attribute to "
                                "indicate the subject line of the mail message(s) to be sent.");
    if (m_from.empty())
        throw new CWebException(kMailSyntaxTitle,
                                "The TSMAIL tag requires the inclusion of the FROM attribute to "
                                "indicate the e-mail address of the sender.");
    if (m_to.empty())
        throw new CWebException(kMailSyntaxTitle,
                                "The TSMAIL tag requires the inclusion of the TO attribute to "
                                "indicate the recipients of the mail message(s) to be sent.");
    // A path with #...# parts is checked per row, once evaluated.
    if (!m_mimeAttach.empty() && m_mimeAttach.find('#') == std::string::npos) CheckAttachment(m_mimeAttach);
}

std::string COutputSection::Run() {
    if (m_isMail) Validate();
    std::string out;
    out.reserve(4096);
    ExecuteSection(out, m_isMail, m_startRow - 1);
    if (m_isMail) {
        m_host.MailPosted();
        return {};
    }
    return out;
}

void COutputSection::ExecuteSection(std::string& out, bool asMail, int firstRow) {
    FlushText();
    if (m_effectiveQuery.empty()) m_effectiveQuery = m_query;

    CTSXQueryImp* query = nullptr;
    int groupColumn = kColumnUnknown;
    if (!m_effectiveQuery.empty()) {
        query = m_host.FindQuery(m_effectiveQuery);
        if (query == nullptr)
            throw new CWebException("Invalid QUERY specified in TSOUTPUT tag",
                                    QueryNotYetExecutedText(m_effectiveQuery));
        if (!m_group.empty()) {
            groupColumn = query->GetColumnIndex(m_group);
            if (groupColumn == kColumnUnknown) GroupColumnError(m_group, m_effectiveQuery);
        }
    }
    const bool grouped = query != nullptr && !m_group.empty();
    const bool nested = m_parent != nullptr && !m_parent->m_group.empty();

    const long long rowCount = query != nullptr ? query->GetRowCount() : 1;
    // With a GROUP, MAXROWS counts groups, so only the emitted count stops the run.
    long long last = (m_maxRows >= 0 && !grouped) ? static_cast<long long>(firstRow) + m_maxRows - 1 : rowCount - 1;
    if (query != nullptr && last > rowCount - 1) last = rowCount - 1;
    // Without a query there is one row to show, whatever MAXROWS says.
    if (query == nullptr && last > firstRow) last = firstRow;

    std::string text;
    RunningQuery running(m_host, m_effectiveQuery);
    int emitted = 0;
    bool first = true;
    std::string groupValue;
    for (long long i = firstRow; i <= last; ++i) {
        const int row = static_cast<int>(i);
        if (!asMail) m_host.CheckRequestTime();
        if (m_maxRows >= 0 && emitted >= m_maxRows) break;
        if (nested && i > firstRow) {
            bool ended = false;
            for (const COutputSection* s = m_parent; s != nullptr && !ended; s = s->m_parent) {
                if (s->m_group.empty()) continue;
                int column = query != nullptr ? query->GetColumnIndex(s->m_group) : kColumnUnknown;
                if (column == kColumnUnknown) GroupColumnError(s->m_group, m_effectiveQuery);
                ended = query->GetColumnValue(row - 1, column) != query->GetColumnValue(row, column);
            }
            if (ended) break;
        }
        if (grouped) {
            std::string value = query->GetColumnValue(row, groupColumn);
            if (!first && value == groupValue) continue;
            groupValue = std::move(value);
            first = false;
        }
        RunNodeList(row, text);
        if (asMail)
            SpoolRow(row, text);
        else
            out += text;
        ++emitted;
    }
}

void COutputSection::RunNodeList(int row, std::string& out) {
    CIfBlockStack ifs([this, row](const std::string& condition) { return m_host.EvaluateCondition(condition, row); });
    out.clear();
    std::string piece;
    // Each instruction's errors name its own line; the line in force before comes back after.
    struct LineGuard {
        COutputSectionHost& host;
        long previous;
        ~LineGuard() { host.SetRunningLine(previous); }
    } guard{m_host, m_host.SetRunningLine(0)};
    for (const auto& node : m_nodes) {
        piece.clear();
        m_host.SetRunningLine(node->Line());
        const std::size_t runsBefore = m_runs != nullptr ? m_runs->size() : 0;
        node->Execute(row, piece, ifs);
        if (m_runs != nullptr) {
            // Text a node wrote without saying where it came from counts as a value.
            const std::size_t recorded = m_runs->size() - runsBefore;
            if (recorded < piece.size()) m_runs->AppendUniform(std::string_view(piece).substr(recorded), true);
        }
        out += piece;
    }
    m_host.SetRunningLine(guard.previous);
    ifs.CheckAtEnd();
}

void COutputSection::SpoolRow(int row, const std::string& body) {
    SectionMailMessage message;
    message.server = m_server;
    message.port = m_port;
    message.timeout = m_timeout;
    // Row data must not add header lines to the spooled message.
    message.subject = RemoveLineBreaks(m_host.EvaluateField(m_subject, row));
    message.from = RemoveLineBreaks(m_host.EvaluateField(m_from, row));
    message.to = RemoveLineBreaks(m_host.EvaluateField(m_to, row));
    if (!m_cc.empty()) message.cc = RemoveLineBreaks(m_host.EvaluateField(m_cc, row));
    if (!m_mimeAttach.empty()) {
        message.attachment = RemoveLineBreaks(m_host.EvaluateField(m_mimeAttach, row));
        CheckAttachment(message.attachment);
    }
    message.html = m_html;
    message.body = body;
    m_host.SpoolMail(message);
}

// --- open sections -------------------------------------------------------------

void ThrowInvalidSectionTag(const std::string& elementText) {
    throw new CWebException("Error processing TSOUTPUT tag",
                            CWebMessage("The tag <B>") + elementText +
                                "</B> was parsed from within a TSOUTPUT section. This tag is not valid within TSOUTPUT "
                                "sections. The tags which are valid in this context are: "
                                "<UL><LI>TSSET<BR><LI>TSIF<BR><LI>TSELSEIF<BR><LI>TSELSE<BR></UL><P>If you wish to "
                                "iterate over Tessaro tags other than the ones listed above you should use the TSLOOP "
                                "tag.");
}

void COutputSectionStack::CheckNesting() const {
    if (m_open.size() < kMaxSectionNesting) return;
    throw new CWebException("An error occurred while attempting to process a TSOUTPUT tag.",
                            CWebMessage::FromHtml(m_host.PositionReport()) +
                                "This TSOUTPUT section would be nested inside " +
                                std::to_string(m_open.size()) +
                                " other sections, which is deeper than sections may be nested.");
}

void COutputSectionStack::OpenOutput(bool reportOpen) {
    COutputSection* current = Current();
    if (current != nullptr && reportOpen) return;
    CheckNesting();
    if (current != nullptr && current->GetQuery().empty())
        throw new CWebException(
            "No QUERY attribute specified for top-level TSOUTPUT tag",
            "If you wish to nest TSOUTPUT statements then you must define a QUERY attribute for the outermost "
            "TSOUTPUT tag. This query is then used for the TSOUTPUT tags which are nested within the outer tag.<P> "
            "Note that this error may be caused by forgetting to terminate a TSOUTPUT with a closing tag "
            "(/TSOUTPUT). Please be sure that all of your TSOUTPUT tags are properly terminated.");
    auto section = std::make_unique<COutputSection>(m_host, false);
    section->SetQuery(current != nullptr ? current->GetQuery() : std::string());
    m_open.push_back(std::move(section));
}

void COutputSectionStack::OpenMail() {
    m_open.push_back(std::make_unique<COutputSection>(m_host, true));
}

void COutputSectionStack::OpenReport() {
    OpenOutput(false);
    m_reportOpen = true;
}

void COutputSectionStack::OnQuery(const std::string& value) {
    COutputSection* current = Current();
    if (current == nullptr) return;
    if (!current->GetQuery().empty())
        throw new CWebException("Invalid use of QUERY attribute on nested TSOUTPUT tag",
                                "The QUERY attribute is not valid for TSOUTPUT tags which are nested within other "
                                "TSOUTPUT tags. This is because nested TSOUTPUT tags automatically use the QUERY "
                                "defined for the TSOUTPUT tag which contains them.");
    std::string name = UpperCopy(value);
    if (m_host.FindQuery(RemoveChar(name, '"')) == nullptr)
        throw new CWebException("Invalid QUERY specified in TSOUTPUT tag", QueryNotYetExecutedText(name));
    current->SetQuery(name);
}

void COutputSectionStack::OnGroup(const std::string& value) {
    if (COutputSection* current = Current()) current->SetGroup(value);
}

void COutputSectionStack::OnMaxRows(const std::string& value, const std::string& positionReport) {
    long rows = AsciiToLong(value);
    if (rows < 0)
        throw new CWebException("An error occurred while attempting to process a TSOUTPUT tag.",
                                CWebMessage::FromHtml(positionReport) +
                                    "The MAXROWS attribute of the TSOUTPUT tag, which evaluates to " +
                                    std::to_string(rows) + ", must be a non-negative number.");
    if (COutputSection* current = Current())
        current->SetMaxRows(rows > 0x7FFFFFFFL ? 0x7FFFFFFF : static_cast<int>(rows));
}

void COutputSectionStack::OnStartRow(const std::string& value, const std::string& positionReport) {
    long row = AsciiToLong(value);
    if (row < 1)
        throw new CWebException("An error occurred while attempting to process a TSOUTPUT tag.",
                                CWebMessage::FromHtml(positionReport) +
                                    "The STARTROW attribute of the TSOUTPUT tag, which evaluates to " +
                                    std::to_string(row) + ", must be a positive number.");
    if (COutputSection* current = Current())
        current->SetStartRow(row > 0x7FFFFFFFL ? 0x7FFFFFFF : static_cast<int>(row));
}

void COutputSectionStack::OnSubject(const std::string& raw) {
    if (COutputSection* current = Current()) current->SetSubject(raw);
}
void COutputSectionStack::OnFrom(const std::string& raw) {
    if (COutputSection* current = Current()) current->SetFrom(raw);
}
void COutputSectionStack::OnTo(const std::string& raw) {
    if (COutputSection* current = Current()) current->SetTo(raw);
}
void COutputSectionStack::OnCc(const std::string& raw) {
    if (COutputSection* current = Current()) current->SetCc(raw);
}

void COutputSectionStack::CloseNested(bool reportOpen) {
    if (reportOpen || m_open.size() < 2) return;
    std::unique_ptr<COutputSection> inner = std::move(m_open.back());
    m_open.pop_back();
    COutputSection& outer = *m_open.back();
    inner->FlushText();
    inner->SetParent(&outer);
    if (outer.GetGroup().empty()) {
        if (outer.IsMail()) {
            outer.SetGroup("RECORDCOUNT");
        } else {
            throw new CWebException(
                "No GROUP attribute specified for top-level TSOUTPUT tag",
                "If you wish to nest TSOUTPUT statements then you must define a GROUP attribute for all TSOUTPUT "
                "sections except the innermost one.<P>For example, to group a set of results based on a field named "
                "'Region', you would use GROUP=&quot;Region&quot; for the outer TSOUTPUT and no group attribute for "
                "the inner TSOUTPUT.");
        }
    }
    outer.AddNestedSection(std::move(inner));
}

std::string COutputSectionStack::CloseTopLevel(CTracedText* runs) {
    if (m_open.empty()) return {};
    std::unique_ptr<COutputSection> section = std::move(m_open.back());
    section->RecordRuns(runs);
    m_open.pop_back();
    if (m_open.empty()) m_reportOpen = false;
    int loopRow = 0;
    if (section->GetQuery().empty() && m_host.LoopQueryRow(loopRow)) {
        section->SetStartRow(loopRow);
        section->SetMaxRows(1);
    }
    return section->Run();
}
