// A print engine library whose print job takes longer than the engine will wait.
#include <chrono>
#include <thread>

extern "C" {
int PEOpenEngine(void) {
    return 1;
}
void PECloseEngine(void) {}
short PEGetVersion(short) {
    return 0x0100;
}
short PEOpenPrintJob(const char*) {
    return 1;
}
int PELogOnSQLServerWithPrivateInfo(const char*, void*) {
    return 1;
}
short PEGetErrorCode(short) {
    return 0;
}
int PEGetErrorText(short, void**, short*) {
    return 0;
}
int PEGetHandleString(void*, char*, short) {
    return 0;
}
int PEClosePrintJob(short) {
    return 1;
}
int PESetSelectionFormula(short, const char*) {
    return 1;
}
int PEGetFormula(short, const char*, void**, short*) {
    return 1;
}
int PESetFormula(short, const char*, const char*) {
    return 1;
}
int PESetNthSortField(short, short, const char*, short) {
    return 1;
}
int PEGetNthTableType(short, short, void*) {
    return 1;
}
int PEGetNthTableLogOnInfo(short, short, void*) {
    return 1;
}
int PESetNthTableLogOnInfo(short, short, void*, int) {
    return 1;
}
int PEDiscardSavedData(short) {
    return 1;
}
int PEExportTo(short, void*) {
    return 1;
}
int PEEnableProgressDialog(short, int) {
    return 1;
}
int PEStartPrintJob(short, int) {
    std::this_thread::sleep_for(std::chrono::seconds(4));
    return 1;
}
}
