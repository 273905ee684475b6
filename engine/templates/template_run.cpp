// Finding the template, Application.tsm, TSINCLUDE and the run itself.
#include <algorithm>
#include <filesystem>
#include <memory>

#include "engine/expressions/function_result_limit.h"
#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_parse_check.h"
#include "support/file_helpers.h"
#include "support/registry.h"
#include "support/runtime_file_gate.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/core/if_block_stack.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/core/registered_error_page.h"
#include "engine/templates/core/loop_stack.h"
#include "engine/templates/core/transaction_window.h"
#include "engine/templates/template_page.h"
#include "engine/templates/template_parser.h"
#include "engine/templates/template_roots.h"
#include "engine/templates/template_tables.h"
#include "platform/file_ops.h"
#include "platform/path_util.h"
#include "platform/win32_error.h"

namespace {

constexpr const char* kApplicationTemplate = "Application.tsm";
constexpr const char* kVersionName = "Brendlow Tessaro 2.0";
constexpr const char* kRolledBackNote =
    "The transaction opened by the TSTRANSACTION tag was rolled back: none of its changes were kept.";

std::string OnDisk(const std::string& path) {
    return tessaro::platform::ResolvePathNoCase(path);
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           tessaro::platform::EqualsNoCase(std::string_view(text).substr(text.size() - tail.size()), tail);
}

bool StartsWithNoCase(const std::string& text, const std::string& head) {
    return text.size() >= head.size() &&
           tessaro::platform::EqualsNoCase(std::string_view(text).substr(0, head.size()), head);
}

// A template file as the run reads it: opened once and judged (the private files are
// never templates, whatever names them or is swapped in on the way), and no larger than
// a variable may be. False when it cannot be read.
bool ReadTemplateFile(const std::string& onDisk, std::string& text, std::size_t limit,
                      const tessaro::platform::OpenedObjectCheck& check, tessaro::platform::FileStamp& stamp) {
    long error = tessaro::platform::ReadCheckedFile(onDisk, limit, check, &text, &stamp);
    if (error == tessaro::platform::ERROR_FILE_TOO_LARGE)
        throw new CWebException(CWebMessage("Error processing template file '") + onDisk + "'",
                                CWebMessage("The template file is larger than the ") + std::to_string(limit) +
                                    " bytes a template may hold (Server\\MaxFunctionResultBytes).");
    return error == tessaro::platform::ERROR_SUCCESS;
}

std::string SameFileKey(const std::string& path) {
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(OnDisk(path), ec);
    return ec ? path : canonical.string();
}

}  // namespace

void CQueryPage::Run() {
    // Every parse of the page (its templates, each expression, however nested) draws on the
    // request's clock.
    SSParseCheckScope clock([this] { CheckRequestTimeout(); });
    try {
        RunTemplate();
    } catch (CWebException* e) {
        // A TSERROR request-error page, once that tag ran, replaces the reply.
        if (m_tags->RequestErrorPage().kind != CErrorPageSpec::Request || !e->GetPageText().empty()) throw;
        throw ApplyRequestErrorTemplate(e);
    }
}

void CQueryPage::RememberPositionReport(const std::string& report) {
    constexpr std::size_t kKept = 16;
    if (std::find(m_positionReports.begin(), m_positionReports.end(), report) != m_positionReports.end()) return;
    if (m_positionReports.size() == kKept) m_positionReports.erase(m_positionReports.begin());
    m_positionReports.push_back(report);
}

CWebException* CQueryPage::ApplyRequestErrorTemplate(CWebException* e) {
    CRequestReader* reader = GetReader();
    std::string diagnostics = e->GetMessage() + " " + e->GetDetail();
    // The engine's debug block is for its own page; the application's page has placeholders for it.
    std::size_t debugBlock = diagnostics.find("Date/Time: ");
    if (debugBlock != std::string::npos) diagnostics.erase(debugBlock);
    // So are the line and the template's path and lines around it: a site's own error page is
    // shown to its visitors, who are not to read the template. The engine's page and the log
    // keep them.
    for (const std::string& report : m_positionReports) ReplaceString(diagnostics, report, "");
    std::string page;
    try {
        page = m_tags->RequestErrorPage().Render({{"#ERROR.DIAGNOSTICS#", diagnostics},
                                                  {"#ERROR.DATETIME#", ErrorPageDateTime()},
                                                  {"#ERROR.BROWSER#", reader->GetCgiVariable("HTTP_USER_AGENT")},
                                                  {"#ERROR.REMOTEADDRESS#", reader->GetCgiVariable("REMOTE_ADDR")},
                                                  {"#ERROR.HTTPREFERER#", reader->GetCgiVariable("HTTP_REFERER")},
                                                  {"#ERROR.QUERYSTRING#", reader->GetCgiVariable("QUERY_STRING")},
                                                  {"#ERROR.TEMPLATE#", templateFileName()}});
    } catch (CException* renderError) {
        // An error page that cannot be read leaves the engine's own.
        renderError->Delete();
        return e;
    }
    // The texts already carry their closing "<P>", which the new error adds again.
    auto withoutMark = [](std::string text) {
        if (text.size() >= 3 && text.compare(text.size() - 3, 3, "<P>") == 0) text.resize(text.size() - 3);
        return text;
    };
    std::string message = withoutMark(e->GetMessage()), detail = withoutMark(e->GetDetail());
    e->Delete();
    return new CWebException(CWebMessage::FromHtml(message), CWebMessage::FromHtml(detail), page);
}

void CQueryPage::RunTemplate() {
    GetWriter()->BeginOutput();
    ResolveTemplatePath();
    try {
        if (Services().grammar == nullptr)
            throw new CWebException("Template grammar not loaded",
                                    "The template grammar tables could not be loaded by the Tessaro engine.");
        if (RunApplicationTemplate() && RunFormValidation()) {
            const std::string& onDisk = m_mainTemplateOnDisk;
            SetPlaceFile(templateFileName(), onDisk);
            std::string text;
            tessaro::platform::FileStamp stamp;
            // Found before, but no longer there or no longer a file a template may be.
            if (!ReadTemplateFile(onDisk, text, m_scopes->MaxFunctionResultBytes(), Files().Check(), stamp))
                ThrowTemplateNotFound(templateFileName(), "", false, true);
            m_parsers.push_back(LeaseTemplateParser(*this));
            m_parsers.back()->parseTemplateText(std::move(text), onDisk, stamp);
            // Checked here so that a mismatch is an error like any other (no cookies sent).
            if (!m_aborted) m_ifStack->CheckAtEnd();
            if (!m_aborted) m_tags->CheckAtEnd();
            // TSABORT inside a window ends the page without committing it.
            if (m_aborted)
                RollbackOpenTransaction();
            else
                m_tags->Transaction().CheckTerminated();
        }
    } catch (const SSException&) {
        std::string report = BuildSyntaxReport();
        bool rolledBack = RollbackOpenTransaction();
        EndRequest(true);
        auto* error = new CWebException(CWebMessage::FromHtml(report), "", "");
        if (rolledBack) error->AppendDetail(kRolledBackNote);
        throw error;
    } catch (CWebException* e) {
        if (RollbackOpenTransaction()) e->AppendDetail(kRolledBackNote);
        e->AppendDetail(CWebMessage::FromHtml(WriteDebugBlock()));
        EndRequest(true);
        throw;
    } catch (...) {
        RollbackOpenTransaction();
        EndRequest(true);
        throw;
    }
    EndRequest(false);
}

bool CQueryPage::RollbackOpenTransaction() {
    try {
        return m_tags->Transaction().RollbackIfOpen();
    } catch (CException* e) {
        // The connection cannot be trusted any more: it is closed, not pooled,
        // which discards the transaction with it.
        e->Delete();
        SetCloseConnections(true);
        return true;
    }
}

void CQueryPage::ResolveTemplatePath() {
    CRequestReader* reader = GetReader();
    // Never the HTTP_ form: a request header must not name the template file.
    std::string p = reader->GetCgiVariable("TS_TEMPLATE_PATH");
    ReplaceChar(p, '\\', '/');
    bool fromGateway = !p.empty();
    if (fromGateway) {
        m_mainTemplateOnDisk = CheckTemplateExists(p, "", false, true);
    } else {
        p = TemplatePathFromScriptName(TrimmedCopy(reader->GetCgiVariable("SCRIPT_NAME")));
        CServerSettings* settings = GetSettings();
        if (p.empty() && (settings == nullptr || settings->GetNumber("Server", "AllowURLTemplate", 1) != 0)) {
            p = TrimmedCopy(reader->GetUrlParameter("TEMPLATE"));
            if (p.empty()) p = TrimmedCopy(reader->GetFormField("TEMPLATE"));
        }
    }
    if (p.empty())
        throw new CWebException(
            "No template file information passed",
            CWebMessage("Tessaro requires that you pass information indicating which file you want to use as your "
                        "TSML template file. This information must be either passed as the document path of the HTTP "
                        "request or be specified as a URL parameter (e.g. ts.exe?template=myfile.ksm) of the "
                        "request.<P>Version = '") +
                kVersionName + "'");
    if (EndsWithNoCase(p, ".rpt"))
        throw new CWebException("Invalid template path specified",
                                CWebMessage("The template path you specified (") + p +
                                    ") corresponds to a Crystal Reports file rather than a Tessaro template file "
                                    "(which normally has a file extension of .ksm). Please verify that you have "
                                    "specified the correct template path.");
    if (!IsSafePath(p))
        throw new CWebException(CWebMessage("The template specification, '<i>") + p + "</i>', is illegal.",
                                "Template specifications cannot include any of the following sequences of characters: "
                                "'..', '//', or '\\\\'.<P>");
    CheckReservedName(p);
    m_mainTemplatePath = fromGateway ? p : ExpandTemplatePath(p, false, ".KSM");
    // The expansion gives the path as it is on disk already.
    if (!fromGateway) m_mainTemplateOnDisk = m_mainTemplatePath;
    CheckReservedName(m_mainTemplatePath);
    m_templateChain.push_back(m_mainTemplatePath);
}

// The extension is found without regard to case; the path keeps the case it was requested
// in, since on a disk that tells cases apart the upper-cased name is another file.
std::string CQueryPage::TemplatePathFromScriptName(const std::string& scriptName) {
    std::string u = UpperCopy(scriptName);
    for (const char* e : {".TSM", ".KSM"}) {
        std::string ext(e);
        std::size_t i = u.rfind('.');
        if (i == std::string::npos) continue;
        if (u.compare(i, ext.size(), ext) == 0) return scriptName.substr(0, i + ext.size());
        if (i == 0) continue;
        std::size_t j = u.rfind('.', i - 1);
        if (j != std::string::npos && u.compare(j, ext.size(), ext) == 0)
            return scriptName.substr(0, j + ext.size());
    }
    return {};
}

std::string CQueryPage::ExpandTemplatePath(const std::string& logical, bool relative,
                                           const std::string& defaultExtension) {
    // The system would see only the text before a zero byte; no check could judge that path.
    if (PathHasNul(logical))
        throw new CWebException(CWebMessage("The template specification, '<i>") + logical + "</i>', is illegal.",
                                "A template path cannot hold a zero byte.<P>");
    std::string p = TrimmedCopy(logical);
    std::string result;
    if (relative && (p.empty() || (p[0] != '/' && p[0] != '\\'))) {
        std::string directory = GetPathDirectory(templateFileName());
        ReplaceChar(directory, '\\', '/');
        if (directory.empty() || directory.back() != '/') directory += '/';
        ReplaceChar(p, '\\', '/');
        result = directory + p;
    } else {
        std::size_t cut = p.find_last_of("/\\");
        std::string directory = cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
        std::string fileName = cut == std::string::npos ? p : p.substr(cut + 1);
        std::string extension;
        std::size_t dot = fileName.rfind('.');
        if (dot != std::string::npos) {
            extension = fileName.substr(dot);
            fileName = fileName.substr(0, dot);
        }
        ReplaceChar(directory, '\\', '/');
        if (directory.empty() || directory[0] != '/') directory = "/" + directory;
        if (directory.back() != '/') directory += '/';

        CRegistrySettings* registry = GetSettings() ? GetSettings()->GetRegistrySettings() : nullptr;
        std::string physical;
        bool mapped = false;
        if (directory != "/" && registry != nullptr) {
            if (!m_mappingNamesLoaded) {
                registry->Enumerate("Templates", m_templateMappingNames);
                m_mappingNamesLoaded = true;
            }
            // Mapping names are names: they match the logical path without regard to case.
            for (const std::string& m : m_templateMappingNames) {
                if (m == "/" || !StartsWithNoCase(directory, m)) continue;
                physical = TrimmedCopy(registry->GetString("Templates", m, ""));
                if (physical.empty() || (physical.back() != '/' && physical.back() != '\\')) physical += '/';
                physical += directory.substr(m.size());
                mapped = true;
                break;
            }
        }
        if (!mapped) {
            std::string root = registry ? TrimmedCopy(registry->GetString("Templates", "/", "")) : std::string();
            if (root.empty()) {
                GetWriter()->BeginOutput();
                throw new CWebException(
                    "Root template directory has not been specified.",
                    CWebMessage("The logical path you have specified (") + logical +
                        ") could not be resolved to an actual filename because you have not specified a root "
                        "template directory.<P>To specify a root template directory use the Administrator "
                        "application to map the root path (represented by '/') to a physical directory on your "
                        "disk (e.g. 'C:\\TESSARO\\TEMPLATE'). Here that is the value / of the Templates key, set "
                        "with tsreg (see docs/templates.md, section \"Where templates and databases live\").");
            }
            if (root.back() == '/' || root.back() == '\\') root.pop_back();
            physical = root + directory;
        }
        ReplaceChar(physical, '\\', '/');
        if (physical.empty() || physical.back() != '/') physical += '/';
        if (extension.empty())
            extension = defaultExtension;
        else if (extension[0] != '.')
            extension = "." + extension;
        result = physical + fileName + extension;
    }
    // The path the file has on disk (a name that matches no file keeps the case it was written
    // in): GetTemplatePath, ExpandPath and the error pages hand it on, and on a disk that tells
    // cases apart an upper-cased copy names another file.
    const tessaro::platform::PathOnDisk found = tessaro::platform::FindPathNoCase(result);
    result = found.path;
    // A template named by a template (relative is set for TSINCLUDE and TSERROR)
    // must not climb out of the template folders, whether by "..", an encoded "..",
    // or a link; checked before the disk is asked, so nothing outside is even found
    // to exist.
    if (relative && !IsInsideTemplateRoots(result, TemplateRoots()))
        throw new CWebException(
            CWebMessage("The template specification, '<i>") + logical + "</i>', is illegal.",
            "A template named in TSINCLUDE or TSERROR must lie inside one of the template directories "
            "mapped under Templates (or the directory of the requested template).<P>");
    CheckResolvedTemplateExists(found, result, logical, true, !relative);
    return result;
}

std::string CQueryPage::CheckTemplateExists(const std::string& physical, const std::string& logical,
                                            bool includeNote, bool requested) {
    tessaro::platform::PathOnDisk found = tessaro::platform::FindPathNoCase(physical);
    CheckResolvedTemplateExists(found, physical, logical, includeNote, requested);
    return std::move(found.path);
}

void CQueryPage::CheckResolvedTemplateExists(const tessaro::platform::PathOnDisk& found, const std::string& physical,
                                             const std::string& logical, bool includeNote, bool requested) {
    // The runtime root's private files are never templates, whatever names them.
    if (!found.knownMissing && Files().IsNonPrivateFile(found.path)) return;
    ThrowTemplateNotFound(physical, logical, includeNote, requested);
}

void CQueryPage::ThrowTemplateNotFound(const std::string& physical, const std::string& logical, bool includeNote,
                                       bool requested) {
    GetWriter()->BeginOutput();
    CWebMessage detail = CWebMessage("The file '") + physical + "' does not exist";
    if (!logical.empty())
        detail += CWebMessage(" (the physical file path was calculated from the logical path '") + logical + "')";
    detail +=
        ". You should verify that you have not misspelled the name of the file or moved the file to another "
        "directory. ";
    if (includeNote)
        detail +=
            "<P>Note: If you wish to use an absolute template path (e.g. TEMPLATE=\"/mypath/index.tsm\") with "
            "TSINCLUDE then you must create a mapping for the path using the Tessaro Administrator (a value of "
            "the Templates key, set with tsreg: see "
            "docs/templates.md, section \"Where templates and databases live\"). <P>Using "
            "relative paths (e.g. TEMPLATE=\"index.tsm\" or TEMPLATE=\"../index.tsm\") does not require the "
            "creation of any special mappings. It is therefore recommended that you use relative paths with "
            "TSINCLUDE whenever possible.";
    auto* error = new CWebException(CWebMessage("Template file <B>") + physical + "</B> not found.", detail);
    // The requested template itself missing is the browser's "not found"; an included one is
    // the application's fault.
    if (requested) error->SetHttpStatus(404);
    throw error;
}

void CQueryPage::CheckReservedName(const std::string& path) {
    std::string reserved = UpperCopy(kApplicationTemplate);
    if (UpperCopy(path).find(reserved) == std::string::npos) return;
    throw new CWebException(CWebMessage("Invalid Request of <B>") + reserved + "</B> File",
                            CWebMessage("You have requested a template with the name ") + reserved +
                                ". This file name is reserved by the Tessaro engine for the specification of "
                                "application level settings and therefore cannot be directly requested from a web "
                                "client.<P>If you are creating a template which is intended for direct access by end "
                                "users you should use a name other than " +
                                reserved + ".");
}

bool CQueryPage::RunApplicationTemplate() {
    std::string dir = m_mainTemplatePath;
    for (;;) {
        std::size_t cut = dir.find_last_of('/');
        if (cut == std::string::npos) break;
        dir.erase(cut);
        std::string candidate = dir + "/" + kApplicationTemplate;
        // Usually there is none: the folder's listing says so without another look.
        const tessaro::platform::PathOnDisk found = tessaro::platform::FindRarePathNoCase(candidate);
        if (!found.knownMissing && FileExists(found.path)) {
            RunTemplateFile(candidate, found.path, Files().Check());
            break;
        }
    }
    return !m_aborted;
}

bool CQueryPage::RunFormValidation() {
    // Without a TSERROR validation page (from Application.tsm), the standard problem page answers.
    const CErrorPageSpec& spec = m_tags->ValidationErrorPage();
    if (spec.kind != CErrorPageSpec::Validation) return ValidateForm();
    std::string list, page;
    if (BuildErrorPage("", list, "", page)) return true;
    WriteValidationReply(page, list);
    return false;
}

void CQueryPage::WriteValidationReply(const std::string& page, const std::string& list) {
    const CErrorPageSpec& spec = m_tags->ValidationErrorPage();
    if (spec.kind != CErrorPageSpec::Validation) {
        GetWriter()->BeginEnginePage();
        WriteText(page);
        return;
    }
    std::size_t at = page.find(list);
    std::string header = at == std::string::npos ? page : page.substr(0, at);
    std::string footer = at == std::string::npos ? std::string() : page.substr(at + list.size());
    std::string text = spec.Render(
        {{"#ERROR.VALIDATIONHEADER#", header}, {"#ERROR.INVALIDFIELDS#", list}, {"#ERROR.VALIDATIONFOOTER#", footer}});
    GetWriter()->CreateOutputBuffer();
    GetWriter()->BeginOutput();
    WriteText(text);
}

void CQueryPage::RunTemplateFile(const std::string& path, const std::string& onDisk,
                                 const tessaro::platform::OpenedObjectCheck& check) {
    std::string text;
    tessaro::platform::FileStamp stamp;
    // An empty or unreadable file is skipped.
    if (!ReadTemplateFile(onDisk, text, m_scopes->MaxFunctionResultBytes(), check, stamp) || text.empty()) return;
    const std::string outerPlace = m_placeFile, outerPlaceOnDisk = m_placeFileOnDisk;
    m_templateChain.push_back(path);
    SetPlaceFile(path, onDisk);
    m_parsers.push_back(LeaseTemplateParser(*this));
    m_parsers.back()->parseTemplateText(std::move(text), onDisk, stamp);
    if (!m_aborted) m_tags->Loops().CheckClosedIn(m_parsers.back().get());
    // After a failure both stay: the error report names the failing file, and
    // EndRequest destroys the parsers.
    m_parsers.pop_back();
    m_templateChain.pop_back();
    SetPlaceFile(outerPlace, outerPlaceOnDisk);
}

std::vector<std::string> CQueryPage::TemplateRoots() {
    std::vector<std::string> roots{GetPathDirectory(m_mainTemplatePath)};
    CRegistrySettings* registry = GetSettings() ? GetSettings()->GetRegistrySettings() : nullptr;
    if (registry == nullptr) return roots;
    if (!m_mappingNamesLoaded) {
        registry->Enumerate("Templates", m_templateMappingNames);
        m_mappingNamesLoaded = true;
    }
    for (const std::string& m : m_templateMappingNames)
        roots.push_back(TrimmedCopy(registry->GetString("Templates", m, "")));
    return roots;
}

CWebMessage CQueryPage::IncludeSequence(const std::string& path) const {
    CWebMessage text("<P>The specific sequence of files processed/included is as follows: <P><PRE>");
    std::size_t k = 1;
    for (const std::string& chained : m_templateChain) text += std::string(2 * k++, ' ') + chained + "\n";
    text += std::string(2 * k, ' ') + path + "\n";
    text += "</PRE><P>";
    return text;
}

void CQueryPage::OnInclude() {
    std::string path = ExpandTemplatePath(attributeValue(), true, ".KSM");
    // "./x.tsm", "sub/../x.tsm" or a link name the same file under another path.
    std::string file = SameFileKey(path);
    for (const std::string& entry : m_templateChain) {
        if (entry != path && SameFileKey(entry) != file) continue;
        throw new CWebException("Recursive template file includes not permitted.",
                                CWebMessage("The template file ") + path +
                                    " may not be included because it is currently being processed (including it "
                                    "would cause recursion which would never terminate)." +
                                    IncludeSequence(path));
    }
    // Each file runs inside the one that includes it, on the request's stack.
    if (m_templateChain.size() >= kMaxIncludeNesting)
        throw new CWebException("Template file includes nested too deeply.",
                                CWebMessage("The template file ") + path + " may not be included because " +
                                    std::to_string(m_templateChain.size()) +
                                    " template files are already being processed inside each other, which is as "
                                    "deep as includes may go." +
                                    IncludeSequence(path));
    // Judged again once opened: inside the template folders, whatever was swapped in since.
    // The expansion gives the path as it is on disk already.
    RunTemplateFile(path, path, InsideTemplateRootsCheck(TemplateRoots(), Files()));
}
