// A print engine library whose PEOpenEngine fails, without an error text.
extern "C" {
int PEOpenEngine(void) {
    return 0;
}
void PECloseEngine(void) {}
short PEGetVersion(short) {
    return 0x0100;
}
short PEOpenPrintJob(const char*) {
    return 0;
}
int PELogOnSQLServerWithPrivateInfo(const char*, void*) {
    return 0;
}
short PEGetErrorCode(short) {
    return 599;
}
int PEGetErrorText(short, void**, short*) {
    return 0;
}
int PEGetHandleString(void*, char*, short) {
    return 0;
}
}
