// The twenty C entry points. The engine keeps its open jobs and the last error of each job
// (job 0 holds the engine's own) behind one lock; a text handle points at a copy that stays
// valid until the next call that asks for a text.
#include "interfaces/print_api.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "printengine/print_job.h"
#include "platform/ascii_text.h"

namespace {

using tessaro::print::FormulaError;
using tessaro::print::PrintJob;

struct LastError {
    short number = 0;
    std::string text;
};

struct EngineState {
    std::mutex lock;
    bool open = false;
    std::map<short, std::unique_ptr<PrintJob>> jobs;
    std::map<short, LastError> errors;
    std::map<std::string, void*> privateConnections;  // upper-cased library name -> connection
    short nextJob = 1;
    std::string handedText;
};

EngineState& State() {
    static EngineState* state = new EngineState;  // outlives every caller's static destructors
    return *state;
}

int Fail(EngineState& s, short job, short number, const std::string& text) {
    s.errors[job] = {number, text};
    return 0;
}

// Runs body for an open job, turning its failures into the job's last error.
template <typename Body>
int WithJob(short job, Body body) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.open) return Fail(s, 0, tessaro::print::kErrEngineNotOpen, "The print engine is not open.");
    auto it = s.jobs.find(job);
    if (it == s.jobs.end())
        return Fail(s, 0, tessaro::print::kErrBadJobNumber, "There is no print job " + std::to_string(job) + ".");
    s.errors.erase(job);
    try {
        return body(s, *it->second);
    } catch (const FormulaError& e) {
        return Fail(s, job, e.Number(), e.what());
    } catch (const std::exception& e) {
        return Fail(s, job, tessaro::print::kErrExport, e.what());
    }
}

int SizeMismatch(EngineState& s, short job, const char* record) {
    return Fail(s, job, tessaro::print::kErrRecordSize,
                std::string("The size of the ") + record + " record does not match the print engine's.");
}

void CopyField(char* field, size_t size, const std::string& value) {
    std::memset(field, 0, size);
    std::memcpy(field, value.data(), std::min(size - 1, value.size()));
}

std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

int HandText(EngineState& s, const std::string& text, void** handle, short* length) {
    s.handedText = text;
    if (handle) *handle = &s.handedText;
    if (length) *length = static_cast<short>(std::min<size_t>(text.size() + 1, 0x7FFF));
    return 1;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int PEOpenEngine(void) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.open = true;
    return 1;
}

__attribute__((visibility("default"))) void PECloseEngine(void) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.jobs.clear();
    s.errors.clear();
    s.privateConnections.clear();
    s.open = false;
}

__attribute__((visibility("default"))) short PEGetVersion(short which) {
    if (which == PE_GV_DLL || which == PE_GV_ENGINE) return 0x0100;
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    Fail(s, 0, tessaro::print::kErrBadJobNumber, "Unknown version selector " + std::to_string(which) + ".");
    return 0;
}

__attribute__((visibility("default"))) short PEOpenPrintJob(const char* reportFilePath) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.open) return short(Fail(s, 0, tessaro::print::kErrEngineNotOpen, "The print engine is not open."));
    s.errors.erase(0);
    try {
        auto job = std::make_unique<PrintJob>(reportFilePath ? reportFilePath : "");
        short number = s.nextJob;
        while (s.jobs.count(number) || number <= 0) number = number <= 0 || number == 0x7FFF ? 1 : short(number + 1);
        s.nextJob = number == 0x7FFF ? 1 : short(number + 1);
        s.jobs[number] = std::move(job);
        return number;
    } catch (const FormulaError& e) {
        return short(Fail(s, 0, e.Number(), e.what()));
    }
}

__attribute__((visibility("default"))) int PELogOnSQLServerWithPrivateInfo(const char* dllName, void* privateInfo) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.open) return Fail(s, 0, tessaro::print::kErrEngineNotOpen, "The print engine is not open.");
    if (!dllName || !privateInfo)
        return Fail(s, 0, tessaro::print::kErrLogOn, "No connection was handed to the print engine.");
    s.privateConnections[tessaro::platform::UpperAscii(dllName)] = privateInfo;
    return 1;
}

__attribute__((visibility("default"))) short PEGetErrorCode(short printJob) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    auto it = s.errors.find(printJob);
    return it == s.errors.end() ? 0 : it->second.number;
}

__attribute__((visibility("default"))) int PEGetErrorText(short printJob, void** textHandle, short* textLength) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    auto it = s.errors.find(printJob);
    if (it == s.errors.end() || it->second.text.empty()) {
        if (textLength) *textLength = 0;
        return 0;
    }
    return HandText(s, it->second.text, textHandle, textLength);
}

__attribute__((visibility("default"))) int PEGetHandleString(void* textHandle, char* buffer, short bufferLength) {
    if (!textHandle || !buffer || bufferLength <= 0) return 0;
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (textHandle != &s.handedText) return 0;
    size_t n = std::min(s.handedText.size(), size_t(bufferLength) - 1);
    std::memcpy(buffer, s.handedText.data(), n);
    buffer[n] = '\0';
    return 1;
}

__attribute__((visibility("default"))) int PEClosePrintJob(short printJob) {
    EngineState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (!s.jobs.erase(printJob))
        return Fail(s, 0, tessaro::print::kErrBadJobNumber, "There is no print job " + std::to_string(printJob) + ".");
    s.errors.erase(printJob);
    return 1;
}

__attribute__((visibility("default"))) int PESetSelectionFormula(short printJob, const char* formulaString) {
    return WithJob(printJob, [&](EngineState&, PrintJob& job) {
        job.SetSelection(formulaString ? formulaString : "");
        return 1;
    });
}

__attribute__((visibility("default"))) int PEGetFormula(short printJob, const char* formulaName, void** textHandle,
                                                        short* textLength) {
    return WithJob(printJob, [&](EngineState& s, PrintJob& job) {
        return HandText(s, job.GetFormula(formulaName ? formulaName : ""), textHandle, textLength);
    });
}

__attribute__((visibility("default"))) int PESetFormula(short printJob, const char* formulaName,
                                                        const char* formulaString) {
    return WithJob(printJob, [&](EngineState&, PrintJob& job) {
        job.SetFormula(formulaName ? formulaName : "", formulaString ? formulaString : "");
        return 1;
    });
}

__attribute__((visibility("default"))) int PESetNthSortField(short printJob, short sortFieldN, const char* name,
                                                             short direction) {
    return WithJob(printJob, [&](EngineState&, PrintJob& job) {
        job.SetSortField(sortFieldN, name ? name : "", direction != PE_SF_DESCENDING);
        return 1;
    });
}

__attribute__((visibility("default"))) int PEGetNthTableType(short printJob, short tableN, PETableType* tableType) {
    return WithJob(printJob, [&](EngineState& s, PrintJob& job) {
        if (!tableType || tableType->StructSize != sizeof(PETableType)) return SizeMismatch(s, printJob, "table type");
        if (tableN != 0)
            return Fail(s, printJob, tessaro::print::kErrBadTableNumber,
                        "The report has no table " + std::to_string(tableN) + ".");
        const auto& t = job.Definition().table;
        CopyField(tableType->DLLName, sizeof tableType->DLLName, t.databaseLibrary);
        CopyField(tableType->DescriptiveName, sizeof tableType->DescriptiveName, t.description);
        tableType->DBType = static_cast<uint16_t>(t.databaseType);
        return 1;
    });
}

__attribute__((visibility("default"))) int PEGetNthTableLogOnInfo(short printJob, short tableN, PELogOnInfo* info) {
    return WithJob(printJob, [&](EngineState& s, PrintJob& job) {
        if (!info || info->StructSize != sizeof(PELogOnInfo)) return SizeMismatch(s, printJob, "log-on");
        if (tableN != 0)
            return Fail(s, printJob, tessaro::print::kErrBadTableNumber,
                        "The report has no table " + std::to_string(tableN) + ".");
        const PrintJob::LogOn& l = job.TableLogOn();
        CopyField(info->ServerName, sizeof info->ServerName, l.server);
        CopyField(info->DatabaseName, sizeof info->DatabaseName, l.database);
        CopyField(info->UserID, sizeof info->UserID, l.user);
        CopyField(info->Password, sizeof info->Password, l.password);
        return 1;
    });
}

__attribute__((visibility("default"))) int PESetNthTableLogOnInfo(short printJob, short tableN, PELogOnInfo* info,
                                                                  int) {
    return WithJob(printJob, [&](EngineState& s, PrintJob& job) {
        if (!info || info->StructSize != sizeof(PELogOnInfo)) return SizeMismatch(s, printJob, "log-on");
        if (tableN != 0)
            return Fail(s, printJob, tessaro::print::kErrBadTableNumber,
                        "The report has no table " + std::to_string(tableN) + ".");
        job.TableLogOn() = {FieldText(info->ServerName, sizeof info->ServerName),
                            FieldText(info->DatabaseName, sizeof info->DatabaseName),
                            FieldText(info->UserID, sizeof info->UserID),
                            FieldText(info->Password, sizeof info->Password)};
        return 1;
    });
}

__attribute__((visibility("default"))) int PEDiscardSavedData(short printJob) {
    return WithJob(printJob, [](EngineState&, PrintJob&) { return 1; });
}

__attribute__((visibility("default"))) int PEExportTo(short printJob, PEExportOptions* options) {
    return WithJob(printJob, [&](EngineState& s, PrintJob& job) {
        if (!options || options->StructSize != sizeof(PEExportOptions))
            return SizeMismatch(s, printJob, "export options");
        auto* html = static_cast<PEHtmlOptions*>(options->formatOptions);
        auto* disk = static_cast<PEDiskOptions*>(options->destinationOptions);
        if (html && html->structSize != sizeof(PEHtmlOptions)) return SizeMismatch(s, printJob, "HTML options");
        if (disk && disk->structSize != sizeof(PEDiskOptions)) return SizeMismatch(s, printJob, "disk options");
        if (options->formatType > 2 || options->destinationType != 0)
            return Fail(s, printJob, tessaro::print::kErrExport, "The print engine exports only HTML to a file.");
        const char* path = disk && disk->fileName ? disk->fileName : (html ? html->fileName : nullptr);
        if (!path || !*path) return Fail(s, printJob, tessaro::print::kErrExport, "No export file was named.");
        job.SetExport(path, static_cast<tessaro::print::HtmlSubtype>(options->formatType));
        return 1;
    });
}

__attribute__((visibility("default"))) int PEEnableProgressDialog(short printJob, int) {
    return WithJob(printJob, [](EngineState&, PrintJob&) { return 1; });
}

__attribute__((visibility("default"))) int PEStartPrintJob(short printJob, int) {
    return WithJob(printJob, [&](EngineState& s, PrintJob& job) {
        void* connection = nullptr;
        if (job.Definition().table.file.empty()) {
            auto it = s.privateConnections.find(tessaro::platform::UpperAscii(job.Definition().table.databaseLibrary));
            if (it != s.privateConnections.end()) connection = it->second;
        }
        job.Print(connection);
        return 1;
    });
}

}  // extern "C"
