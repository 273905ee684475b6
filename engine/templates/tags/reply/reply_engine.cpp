#include "engine/templates/tags/reply/reply_engine.h"

#include "engine/server/client_scope.h"
#include "engine/templates/core/reply_header_rules.h"
#include "engine/templates/core/tag_file_path.h"
#include "support/control_characters.h"
#include "engine/server/reply_writer.h"
#include "support/runtime_file_gate.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "platform/checked_file.h"

std::string BuildHeaderLine(const std::string& name, const std::string& value) {
    if (name.empty())
        throw new CWebException("Invalid TSHEADER tag",
                                "The TSHEADER tag requires the specificatin of a NAME attribute. Please be sure that "
                                "you specified this attribute and spelled it correctly.");
    // Line breaks go (the value stays on its line); any other control character could end
    // the line or the value for a web server, proxy or browser, so the tag is refused.
    std::string line = TrimmedCopy(RemoveLineBreaks(name));
    RefuseControlCharacters(line, "Invalid TSHEADER tag", "NAME attribute of the TSHEADER tag");
    const std::string text = RemoveLineBreaks(TrimmedCopy(value));
    RefuseControlCharacters(text, "Invalid TSHEADER tag", "VALUE attribute of the TSHEADER tag");
    if (line.empty() || line.back() != ':') line += ':';
    return line + " " + text + "\n";
}

void ContentTagState::SetDeleteFile(const std::string& value) {
    if (UpperCopy(value) == "YES") deleteFile = true;
}

bool ExecuteContent(const ContentTagState& state, CReplyWriter& writer, const CRuntimeFileGate& files) {
    if (state.type.empty())
        throw new CWebException("Invalid TSCONTENT tag",
                                "The TSCONTENT tag requires that you specify a MIME content type using the TYPE "
                                "attribute.<P>For example, to specify that you are returning a GIF file you would "
                                "use the syntax TYPE=\"image/gif\".");
    // Checked before the output is dropped, so a refused tag leaves the page intact. The type
    // goes into the reply's header block: line breaks go, as from every header line, and any
    // other control character refuses the tag.
    RefuseControlCharacters(RemoveLineBreaks(state.type), "Invalid TSCONTENT tag",
                            "TYPE attribute of the TSCONTENT tag");
    // The file is opened (and judged) before the output is dropped too; the reply then sends
    // what was opened here.
    tessaro::platform::CheckedFile file;
    if (!state.file.empty()) {
        CheckTagFilePath(state.file, "Invalid TSCONTENT tag");
        // The runtime root's private files count as not accessible.
        if (tessaro::platform::OpenCheckedFile(state.file, tessaro::platform::FileAccess::Read, files.Check(), &file) !=
            0)
            throw new CWebException("Invalid TSCONTENT tag",
                                    CWebMessage("The file specified in the FILE attribute of the TSCONTENT tag (") +
                                        state.file +
                                        ") does not exist or is not accessible to the Tessaro Engine. <P>You should "
                                        "verify that you have spelled the name of the file correctly and that the "
                                        "access permissions set for the file allow it to be accessed from the "
                                        "'Brendlow Tessaro 2.0' Service.");
    }
    writer.CreateOutputBuffer();
    if (state.file.empty()) {
        writer.SetContentType(state.type);
        return false;
    }
    writer.ReplyWithFile(state.type, std::move(file), state.deleteFile);
    return true;
}

void LocationTagState::SetAddToken(const std::string& value, const std::string& positionReport) {
    addToken = value;
    std::string upper = UpperCopy(value);
    if (upper.empty() || upper == "YES" || upper == "NO") return;
    throw new CWebException("Invalid attribute value.",
                            CWebMessage::FromHtml(positionReport) +
                                "The ADDTOKEN attribute of the TSLOCATION tag must be either \"Yes or "
                                "\"No\".");
}

std::string AddClientToken(const std::string& url, const std::string& addToken, CClientScope* clients) {
    if (clients == nullptr || !clients->IsEnabled()) return url;
    if (UpperCopy(addToken) == "NO") return url;
    std::string upper = UpperCopy(url);
    if (upper.find(".KSM") == std::string::npos && upper.find(".TSM") == std::string::npos) return url;
    std::string token = (url.find('?') == std::string::npos ? "?" : "&") + clients->Get("URLTOKEN");
    std::size_t hash = url.find('#');
    if (hash == std::string::npos) return url + token;
    return url.substr(0, hash) + token + url.substr(hash);
}

std::string LocationUrl(const std::string& url) {
    std::string target = RedirectUrl(url);
    RefuseControlCharacters(target, "Invalid TSLOCATION tag", "URL attribute of the TSLOCATION tag");
    return target;
}
