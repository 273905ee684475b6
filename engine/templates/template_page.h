// The template page: runs one template per request in a single pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "engine/templates/pages/wdb_base_page.h"
#include "engine/templates/template_parser_pool.h"
#include "platform/checked_file.h"
#include "platform/path_util.h"
#include "support/web_message.h"

class CExpressionEvaluationDriver;
class CIfBlockStack;
class CPageScopes;
class CPageTags;
class CTemplateParser;
class CWebException;

// How many template files may run inside each other (the requested one, Application.tsm and
// their includes): each runs its own parse on the request's stack.
constexpr std::size_t kMaxIncludeNesting = 100;

class CQueryPage : public CWDBBasePage {
public:
    // services (not owned) outlive the page.
    explicit CQueryPage(const TemplateServices& services);
    ~CQueryPage() override;

    using CWDBBasePage::Run;
    void Setup() override;
    void Run() override;
    void Finish() override;

    // The look at the request's budget (its clock started by StartRequestClock): throws when
    // the budget is spent or stopped.
    void CheckRequestTimeout();
    void EndRequest(bool error);
    // Rolls back a transaction still running (true when there was one); never throws.
    bool RollbackOpenTransaction();
    void WriteQueryDebug();
    void AddQueryDebugLine(const std::string& line) { m_queryDebugLines.push_back(line); }

    // The template run.
    void RunTemplate();
    void ResolveTemplatePath();
    static std::string TemplatePathFromScriptName(const std::string& scriptName);
    std::string ExpandTemplatePath(const std::string& logical, bool relative, const std::string& defaultExtension);
    // requested: the template the request names (missing: HTTP 404), not one it includes.
    // The path the file has on disk.
    std::string CheckTemplateExists(const std::string& physical, const std::string& logical, bool includeNote,
                             bool requested = false);
    // The same with physical looked up on disk already (found); physical names it in the page.
    void CheckResolvedTemplateExists(const tessaro::platform::PathOnDisk& found, const std::string& physical,
                                     const std::string& logical, bool includeNote, bool requested);
    [[noreturn]] void ThrowTemplateNotFound(const std::string& physical, const std::string& logical, bool includeNote,
                                            bool requested);
    static void CheckReservedName(const std::string& path);
    // The physical folders an included template must lie in.
    std::vector<std::string> TemplateRoots();
    bool RunApplicationTemplate();
    bool RunFormValidation();
    // The form-validation problem page (or the TSERROR validation page) replaces the reply.
    void WriteValidationReply(const std::string& page, const std::string& list);
    // Parses and runs one more file, found on disk as onDisk; check judges it once opened.
    void RunTemplateFile(const std::string& path, const std::string& onDisk,
                         const tessaro::platform::OpenedObjectCheck& check);
    // The file being processed now is path, onDisk as it was found and read.
    void SetPlaceFile(const std::string& path, const std::string& onDisk) const;
    // TSINCLUDE: not a file already being processed, nor deeper than kMaxIncludeNesting files.
    void OnInclude();
    // The files being processed, oldest first, then path: the error pages' listing.
    CWebMessage IncludeSequence(const std::string& path) const;
    std::string WriteErrorReport(bool syntaxError = false);
    // The line of the section instruction that runs now (0: none). A section body runs when
    // its closing tag is read, so the parser stands on that tag, not on the instruction.
    long SetRunningLine(long line) {
        long previous = m_runningLine;
        m_runningLine = line;
        return previous;
    }
    std::string WriteDebugBlock();
    std::string BuildSyntaxReport();
    // The page of the TSERROR request registration for e: returns the error to throw
    // on in e's place (e itself when that page cannot be read).
    CWebException* ApplyRequestErrorTemplate(CWebException* e);
    // A position report WriteErrorReport gave out, which a TSERROR page's diagnostics leave out.
    void RememberPositionReport(const std::string& report);

    // What the reduce dispatch uses.
    std::string templateFileName() const;
    CTemplateParser* currentTemplateParser() const;
    // Where the parse of the current template stands: "line N of the template file F" ("" when
    // no template is being parsed).
    std::string ParsePlace() const;
    void destroyTemplateParsers();
    CIfBlockStack* GetIfStack() const { return m_ifStack.get(); }
    // The engine's expression language; throws CWebException* when the engine has none.
    CExpressionEvaluationDriver& Expressions() const;
    // What the tag families share (queries, loops, sections, error pages); reductions go through it.
    CPageTags& Tags() { return *m_tags; }
    // The request's variable scopes and the evaluator's view of the page.
    CPageScopes& GetScopes() { return *m_scopes; }
    void WriteText(const std::string& text);
    void AppendAttributeText(const std::string& text) { m_attributeAccumulator += text; }
    void FinishAttribute();
    std::string attributeValue();
    std::string rawAttributeValue();
    bool IsSkippingLoop() const;
    // A TSQUERY block is open (its text becomes SQL).
    bool IsInsideQuery() const;
    void SetVariable(const std::string& name, const std::string& value);
    void SetApplicationName(const std::string& name) { m_applicationName = name; }
    const std::string& GetApplicationName() const { return m_applicationName; }

    const std::string& GetMainTemplatePath() const { return m_mainTemplatePath; }
    bool IsAborted() const { return m_aborted; }
    void SetAborted() { m_aborted = true; }

private:
    long m_runningLine = 0;
    // The latest position reports (the line, the template's path and its lines there).
    std::vector<std::string> m_positionReports;
    bool m_aborted = false;
    std::string m_applicationName;
    bool m_queryDebug = false;
    std::vector<std::string> m_queryDebugLines;
    std::vector<std::string> m_templateMappingNames;
    bool m_mappingNamesLoaded = false;
    std::unique_ptr<CIfBlockStack> m_ifStack;
    std::string m_mainTemplatePath;
    // As it was found on disk when its existence was checked.
    std::string m_mainTemplateOnDisk;
    // Head (back) = the file being processed now.
    std::vector<std::string> m_templateChain;
    std::vector<TemplateParserLease> m_parsers;
    // ParsePlace runs for every TSIF: the file name it shows is the one the file was read by,
    // else resolved once.
    mutable std::string m_placeFile;
    mutable std::string m_placeFileOnDisk;
    std::string m_attributeAccumulator;
    std::string m_attributeText;
    std::unique_ptr<CPageScopes> m_scopes;
    std::unique_ptr<CPageTags> m_tags;  // after the scopes, which it uses
};

// The date and time as "MM/DD/YY HH:MM:SS", the form error pages show.
std::string ErrorPageDateTime();
