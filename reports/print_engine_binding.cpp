#include "reports/print_engine_binding.h"

#include <cstdio>
#include <ctime>
#include <cstring>
#include <optional>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/module_loader.h"
#include "platform/program_path.h"
#include "support/web_message.h"

namespace tessaro::reports {

namespace {

struct EngineBinding {
    std::optional<platform::LoadedModule> module;
    std::string path;
    bool loaded = false;
    bool jobEntryPointsBound = false;
    CPrintEngine::EntryPoints entry;
};

EngineBinding& Binding() {
    static EngineBinding binding;
    return binding;
}

std::string Format1024(const char* format, const std::string& a, const std::string& b = {}) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, a.c_str(), b.c_str());
    return buffer;
}

void Unload(EngineBinding& b) {
    b.module.reset();
    b.path.clear();
    b.loaded = false;
    b.jobEntryPointsBound = false;
    b.entry = {};
}

template <typename Pointer>
void Bind(EngineBinding& b, Pointer& pointer, const char* name) {
    void* symbol = b.module->FindSymbol(name);
    if (!symbol) {
        throw CPrintEngineException(
            403, Format1024("The procedure named '%s' could not be found in the Crystal Engine library DLL. "
                            "Please verify that you are using the correct version of the Crystal Engine.",
                            name));
    }
    pointer = reinterpret_cast<Pointer>(symbol);
}

// The file the name stands for: a name with a '/' as given, a bare one beside the program.
std::string LibraryFile(const std::string& library) {
    if (library.find('/') != std::string::npos) return library;
    std::string beside = platform::ProgramDirectory() + library;
    return platform::GetFileKind(beside) == platform::FileKind::Regular ? beside : library;
}

std::string VersionText(short version) {
    return std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF);
}

}  // namespace

void CPrintEngine::Load(const std::string& library) {
    EngineBinding& b = Binding();
    if (b.loaded) return;
    std::string file = LibraryFile(library);
    bool present = file.find('/') == std::string::npos || platform::GetFileKind(file) == platform::FileKind::Regular;
    std::string reason;
    platform::LoadedModule module =
        present ? platform::LoadedModule::Load(file, platform::LoadedModule::Binding::Now, &reason)
                : platform::LoadedModule();
    if (!module.IsLoaded()) {
        // The loader only gives text: a file it could not find is told apart from one it
        // found but could not load.
        if (!present || reason.find("No such file") != std::string::npos)
            throw CPrintEngineException(400, Format1024("The library file '%s' could not be located.", library));
        // 193: the file is there but is no library this process can load.
        char text[1024];
        std::snprintf(text, sizeof text,
                      "Windows NT error number %ld occurred while attempting to load the library %s.", 193L,
                      (library + " (" + reason + ")").c_str());
        throw CPrintEngineException(401, text);
    }
    b.module.emplace(std::move(module));
    b.path = file;
    try {
        Bind(b, b.entry.OpenEngine, "PEOpenEngine");
        Bind(b, b.entry.CloseEngine, "PECloseEngine");
        Bind(b, b.entry.GetVersion, "PEGetVersion");
        Bind(b, b.entry.OpenPrintJob, "PEOpenPrintJob");
        Bind(b, b.entry.LogOnSQLServerWithPrivateInfo, "PELogOnSQLServerWithPrivateInfo");
        Bind(b, b.entry.GetErrorCode, "PEGetErrorCode");
        Bind(b, b.entry.GetErrorText, "PEGetErrorText");
        Bind(b, b.entry.GetHandleString, "PEGetHandleString");
        Check(0, b.entry.OpenEngine());
    } catch (...) {
        Unload(b);
        throw;
    }
    b.loaded = true;
}

void CPrintEngine::Close() {
    EngineBinding& b = Binding();
    if (b.loaded && b.entry.CloseEngine) b.entry.CloseEngine();
    Unload(b);
}

bool CPrintEngine::IsLoaded() {
    return Binding().loaded;
}

const CPrintEngine::EntryPoints& CPrintEngine::Bound() {
    return Binding().entry;
}

std::string CPrintEngine::LibraryLine() {
    EngineBinding& b = Binding();
    std::string path, time, dllVersion, engineVersion;
    if (b.loaded) {
        path = b.path;
        std::int64_t seconds = 0;
        if (platform::FileTimeSeconds(b.path, &seconds)) {
            std::time_t t = static_cast<std::time_t>(seconds);
            std::tm utc{};
            platform::ToUniversalTime(t, utc);
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%d/%d/%d %2d:%2d", utc.tm_mon + 1, utc.tm_mday, utc.tm_year + 1900,
                          utc.tm_hour, utc.tm_min);
            time = buffer;
        }
        dllVersion = VersionText(b.entry.GetVersion(PE_GV_DLL));
        engineVersion = VersionText(b.entry.GetVersion(PE_GV_ENGINE));
    }
    return (CWebMessage("<P>Crystal Library = ") + path + " (" + time + ") <BR>DLL Version = " + dllVersion +
            ", Engine Version = " + engineVersion)
        .Html();
}

void CPrintEngine::Check(short job, long result) {
    if (result != 0) return;
    const EntryPoints& e = Binding().entry;
    short number = e.GetErrorCode ? e.GetErrorCode(job) : 0;
    char text[2048];
    text[0] = '\0';
    void* handle = nullptr;
    short length = 0;
    if (e.GetErrorText && e.GetErrorText(job, &handle, &length) && e.GetHandleString) {
        e.GetHandleString(handle, text, sizeof text);
        text[sizeof text - 1] = '\0';
    }
    // Number 0 carries HTML; a print engine that answers 0 with words of its own gets them shown as text.
    throw CPrintEngineException(number, number == 0 ? CWebMessage::Value(text).Html() : std::string(text));
}

short CPrintEngine::OpenPrintJob(const std::string& reportPath) {
    EngineBinding& b = Binding();
    if (!b.loaded) throw CPrintEngineException(400, "The print engine is not loaded.");
    if (!b.jobEntryPointsBound) {
        try {
            Bind(b, b.entry.ClosePrintJob, "PEClosePrintJob");
            Bind(b, b.entry.SetSelectionFormula, "PESetSelectionFormula");
            Bind(b, b.entry.GetFormula, "PEGetFormula");
            Bind(b, b.entry.SetFormula, "PESetFormula");
            Bind(b, b.entry.SetNthSortField, "PESetNthSortField");
            Bind(b, b.entry.GetNthTableType, "PEGetNthTableType");
            Bind(b, b.entry.GetNthTableLogOnInfo, "PEGetNthTableLogOnInfo");
            Bind(b, b.entry.SetNthTableLogOnInfo, "PESetNthTableLogOnInfo");
            Bind(b, b.entry.DiscardSavedData, "PEDiscardSavedData");
            Bind(b, b.entry.ExportTo, "PEExportTo");
            Bind(b, b.entry.EnableProgressDialog, "PEEnableProgressDialog");
            Bind(b, b.entry.StartPrintJob, "PEStartPrintJob");
        } catch (...) {
            if (b.entry.CloseEngine) b.entry.CloseEngine();
            Unload(b);
            throw;
        }
        b.jobEntryPointsBound = true;
    }
    short job = b.entry.OpenPrintJob(reportPath.c_str());
    Check(0, job);
    return job;
}

void CPrintEngine::LogOnWithPrivateInfo(const std::string& dllName, void* privateInfo) {
    Check(0, Bound().LogOnSQLServerWithPrivateInfo(dllName.c_str(), privateInfo));
}

CPrintJob::CPrintJob(const std::string& reportPath) : m_job(CPrintEngine::OpenPrintJob(reportPath)) {}

CPrintJob::~CPrintJob() {
    try {
        Close();
    } catch (const CPrintEngineException&) {
    }
}

void CPrintJob::Close() {
    if (m_job == 0) return;
    short job = m_job;
    m_job = 0;
    if (CPrintEngine::IsLoaded()) CPrintEngine::Check(job, CPrintEngine::Bound().ClosePrintJob(job));
}

void CPrintJob::SetSelectionFormula(const std::string& text) {
    CPrintEngine::Check(m_job, CPrintEngine::Bound().SetSelectionFormula(m_job, text.c_str()));
}

std::string CPrintJob::GetFormula(const std::string& name) {
    void* handle = nullptr;
    short length = 0;
    CPrintEngine::Check(m_job, CPrintEngine::Bound().GetFormula(m_job, name.c_str(), &handle, &length));
    char text[8192];
    text[0] = '\0';
    CPrintEngine::Bound().GetHandleString(handle, text, sizeof text);
    text[sizeof text - 1] = '\0';
    return text;
}

void CPrintJob::SetFormula(const std::string& name, const std::string& text) {
    CPrintEngine::Check(m_job, CPrintEngine::Bound().SetFormula(m_job, name.c_str(), text.c_str()));
}

void CPrintJob::SetNthSortField(short n, const std::string& field, short direction) {
    CPrintEngine::Check(m_job, CPrintEngine::Bound().SetNthSortField(m_job, n, field.c_str(), direction));
}

void CPrintJob::GetNthTableType(short n, PETableType& type) {
    type.StructSize = sizeof type;
    CPrintEngine::Check(m_job, CPrintEngine::Bound().GetNthTableType(m_job, n, &type));
}

void CPrintJob::GetNthTableLogOnInfo(short n, PELogOnInfo& info) {
    info.StructSize = sizeof info;
    CPrintEngine::Check(m_job, CPrintEngine::Bound().GetNthTableLogOnInfo(m_job, n, &info));
}

void CPrintJob::SetNthTableLogOnInfo(short n, PELogOnInfo& info, bool propagate) {
    info.StructSize = sizeof info;
    CPrintEngine::Check(m_job, CPrintEngine::Bound().SetNthTableLogOnInfo(m_job, n, &info, propagate ? 1 : 0));
}

void CPrintJob::DiscardSavedData() {
    CPrintEngine::Check(m_job, CPrintEngine::Bound().DiscardSavedData(m_job));
}

void CPrintJob::ExportTo(PEExportOptions& options) {
    CPrintEngine::Check(m_job, CPrintEngine::Bound().ExportTo(m_job, &options));
}

void CPrintJob::EnableProgressDialog(bool enable) {
    CPrintEngine::Check(m_job, CPrintEngine::Bound().EnableProgressDialog(m_job, enable ? 1 : 0));
}

void CPrintJob::Start() {
    CPrintEngine::Check(m_job, CPrintEngine::Bound().StartPrintJob(m_job, 1));
}

}  // namespace tessaro::reports
