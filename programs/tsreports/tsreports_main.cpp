// tsreports: the report server the engine starts for its first TSREPORT.
#include "reports/report_server.h"

int main() {
    return tessaro::reports::RunReportServer();
}
