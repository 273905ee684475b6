#include "engine/templates/pages/web_page.h"

#include <cstdio>
#include <cstring>

#include "engine/server/reply_writer.h"
#include "engine/templates/file_lines.h"
#include "platform/path_util.h"

void CWebPage::Attach(CWebLog* webLog, CServerSettings* settings, CRequestReader* reader, CReplyWriter* writer) {
    m_webLog = webLog;
    m_settings = settings;
    m_reader = reader;
    m_writer = writer;
}

void CWebPage::Run(CWebLog* webLog, CServerSettings* settings, CRequestReader* reader, CReplyWriter* writer) {
    Attach(webLog, settings, reader, writer);
    m_ran = true;
    Setup();
    if (!m_substitutionFile.empty())
        ServeSubstitutionFile();
    else
        Run();
}

void CWebPage::ServeSubstitutionFile() {
    static const char kStart[] = "<<<@WEB_SUB:";
    static const char kEnd[] = ">>>";
    m_writer->BeginOutput();
    std::string path = tessaro::platform::ResolvePathNoCase(m_substitutionFile);
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return;
    // Whole lines, so a marker is never split between two reads.
    std::string piece;
    while (ReadWholeLine(file, piece)) {
        std::size_t p = 0;
        while (p < piece.size()) {
            std::size_t start = piece.find(kStart, p);
            if (start == std::string::npos) break;
            std::size_t nameAt = start + std::strlen(kStart);
            std::size_t end = piece.find(kEnd, nameAt);
            if (end == std::string::npos) break;
            if (start > p) m_writer->GetCurrentChannel()->WriteText(piece.substr(p, start - p));
            OnSubstitution(piece.substr(nameAt, end - nameAt));
            p = end + std::strlen(kEnd);
        }
        if (p < piece.size()) m_writer->GetCurrentChannel()->WriteText(piece.substr(p));
    }
    std::fclose(file);
}
