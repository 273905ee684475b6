#include "engine/server/echo_page.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/server/reply_writer.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"
#include "support/web_exception.h"
#include "platform/file_system.h"
#include "support/html_escape.h"

namespace {

long BoundedNumber(const std::string& text, long max) {
    long v = std::strtol(text.c_str(), nullptr, 10);
    return v < 0 ? 0 : (v > max ? max : v);
}

bool Exists(const std::string& path) {
    return !path.empty() && tessaro::platform::GetFileKind(path) != tessaro::platform::FileKind::Missing;
}

}  // namespace

void CEchoPage::Run(CWebLog*, CServerSettings*, CRequestReader* reader, CReplyWriter* writer) {
    m_ran = true;
    if (!reader || !writer) return;
    if (reader->HasUrlParameter("sleep"))
        std::this_thread::sleep_for(std::chrono::milliseconds(BoundedNumber(reader->GetUrlParameter("sleep"), 60000)));
    if (reader->HasUrlParameter("pagetext"))
        throw new CWebException("Echo page text.", "", reader->GetUrlParameter("pagetext"));
    writer->BeginOutput();
    CReplyChannel* out = writer->GetCurrentChannel();
    if (reader->HasUrlParameter("fail")) {
        out->WriteText("partial ");
        throw new CWebException("Echo failure.", "The test page was asked to fail.", "");
    }
    if (reader->HasUrlParameter("header")) writer->AddHeader(reader->GetUrlParameter("header") + "\n");
    if (reader->HasUrlParameter("redirect")) {
        writer->Redirect(reader->GetUrlParameter("redirect"));
        return;
    }
    if (reader->HasUrlParameter("bytes")) {
        std::string body(static_cast<std::size_t>(BoundedNumber(reader->GetUrlParameter("bytes"), 16 << 20)), 'x');
        out->Write(body.data(), body.size());
        return;
    }
    if (reader->HasUrlParameter("nul")) {
        out->Write("a\0b", 3);
        return;
    }
    std::string text = "ECHO\n";
    for (const auto& [name, value] : reader->GetUrlParameters()) text += "URL:" + name + "=" + HtmlEscape(value) + "\n";
    const CFormFieldList& form = reader->GetFormFields();
    for (int i = 0; i < form.GetCount(); ++i) {
        std::string name, value;
        form.GetAt(i, name, value);
        text += "FORM:" + name + "=" + HtmlEscape(value) + "\n";
        if (CUploadedFile* f = form.GetFilePath(name)) {
            text += "FILE:" + name + "=" + f->TempFilePath + "|" + (Exists(f->TempFilePath) ? "exists" : "missing") +
                    "|" + f->ContentType + "|" + f->ContentSubType + "|" + HtmlEscape(f->ClientDirectory) + "|" +
                    HtmlEscape(f->ClientFileName) + "|" + HtmlEscape(f->ClientFileExt) + "\n";
        }
    }
    for (const auto& name : reader->GetCgiArrivalList())
        text += "CGI:" + name + "=" + HtmlEscape(reader->GetCgiVariable(name)) + "\n";
    out->WriteText(text);
}

void RegisterEchoPage(CRequestDispatcher& dispatcher, bool asDefault) {
    dispatcher.RegisterAction(
        "Echo", [] { return std::make_unique<CEchoPage>(); }, asDefault);
}

void RegisterEchoPageWhenEnabled(CRequestDispatcher& dispatcher) {
    CServerSettings* settings = dispatcher.GetServerSettings();
    if (!settings || settings->GetString("Debug", "EchoPage", "0") != "1") return;
    RegisterEchoPage(dispatcher, dispatcher.GetDefaultAction().empty());
}
