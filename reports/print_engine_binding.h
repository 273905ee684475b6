// The report server's binding to the print engine library: loaded by name on the first
// report, its entry points bound by name (eight at load, the other twelve when the first
// print job opens), every failed call turned into a CPrintEngineException carrying the
// engine's number and text. Load and bind failures are numbered 400-404.
#pragma once

#include <string>

#include "interfaces/print_api.h"

namespace tessaro::reports {

// The text is HTML for number 0 (the report server's own failures, whose values it escapes)
// and plain text for every other number (the print engine's and the binding's words).
class CPrintEngineException {
public:
    CPrintEngineException(long number, std::string text) : m_number(number), m_text(std::move(text)) {}
    virtual ~CPrintEngineException() = default;
    short Number() const { return static_cast<short>(m_number); }
    const std::string& Text() const { return m_text; }
    void SetText(std::string text) { m_text = std::move(text); }

private:
    long m_number;
    std::string m_text;
};

// Process-wide; the report server runs one report at a time on one thread.
class CPrintEngine {
public:
    // Loads and opens the library when not loaded. A failure unloads it again and clears
    // every binding, so the next report tries the whole load afresh.
    static void Load(const std::string& library);
    // Closes the engine and unloads the library; bindings are cleared in any case.
    static void Close();
    static bool IsLoaded();
    // "<P>Crystal Library = <path> (<time>) <BR>DLL Version = <v>, Engine Version = <v>";
    // HTML with the path as text; every piece empty while nothing is loaded.
    static std::string LibraryLine();

    // Opens a job (binding the second group first); throws.
    static short OpenPrintJob(const std::string& reportPath);
    static void LogOnWithPrivateInfo(const std::string& dllName, void* privateInfo);
    // Throws CPrintEngineException with the engine's number and text when result is 0.
    static void Check(short job, long result);

    struct EntryPoints;
    static const EntryPoints& Bound();
};

struct CPrintEngine::EntryPoints {
    decltype(&::PEOpenEngine) OpenEngine = nullptr;
    decltype(&::PECloseEngine) CloseEngine = nullptr;
    decltype(&::PEGetVersion) GetVersion = nullptr;
    decltype(&::PEOpenPrintJob) OpenPrintJob = nullptr;
    decltype(&::PELogOnSQLServerWithPrivateInfo) LogOnSQLServerWithPrivateInfo = nullptr;
    decltype(&::PEGetErrorCode) GetErrorCode = nullptr;
    decltype(&::PEGetErrorText) GetErrorText = nullptr;
    decltype(&::PEGetHandleString) GetHandleString = nullptr;
    decltype(&::PEClosePrintJob) ClosePrintJob = nullptr;
    decltype(&::PESetSelectionFormula) SetSelectionFormula = nullptr;
    decltype(&::PEGetFormula) GetFormula = nullptr;
    decltype(&::PESetFormula) SetFormula = nullptr;
    decltype(&::PESetNthSortField) SetNthSortField = nullptr;
    decltype(&::PEGetNthTableType) GetNthTableType = nullptr;
    decltype(&::PEGetNthTableLogOnInfo) GetNthTableLogOnInfo = nullptr;
    decltype(&::PESetNthTableLogOnInfo) SetNthTableLogOnInfo = nullptr;
    decltype(&::PEDiscardSavedData) DiscardSavedData = nullptr;
    decltype(&::PEExportTo) ExportTo = nullptr;
    decltype(&::PEEnableProgressDialog) EnableProgressDialog = nullptr;
    decltype(&::PEStartPrintJob) StartPrintJob = nullptr;
};

// One open print job; closed when the object goes.
class CPrintJob {
public:
    explicit CPrintJob(const std::string& reportPath);
    virtual ~CPrintJob();
    CPrintJob(const CPrintJob&) = delete;
    CPrintJob& operator=(const CPrintJob&) = delete;

    short Number() const { return m_job; }
    void SetSelectionFormula(const std::string& text);
    std::string GetFormula(const std::string& name);
    void SetFormula(const std::string& name, const std::string& text);
    void SetNthSortField(short n, const std::string& field, short direction);
    void GetNthTableType(short n, PETableType& type);
    void GetNthTableLogOnInfo(short n, PELogOnInfo& info);
    void SetNthTableLogOnInfo(short n, PELogOnInfo& info, bool propagate);
    void DiscardSavedData();
    void ExportTo(PEExportOptions& options);
    void EnableProgressDialog(bool enable);
    void Start();
    void Close();

private:
    short m_job = 0;
};

}  // namespace tessaro::reports
