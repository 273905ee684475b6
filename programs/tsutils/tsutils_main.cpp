// tsutils REQUESTFILE: answers the wizards' catalogue questions in the request file and
// exits. It never opens a window, so a wizard waiting for it can never hang on a dialog;
// what goes wrong is written into the file (and, for the unexpected, to stderr).
#include <cstdio>
#include <exception>

#include "database/odbc/odbc_env.h"
#include "wizardutils/request_processor.h"

int main(int argc, char** argv) {
    if (argc < 2 || !argv[1][0]) return 0;
    try {
        odbcENV env;
        env.AutoRetrieve(2);
        env.AutoReport(0);
        tessaro::wizardutils::ProcessRequestFile(argv[1], env);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tsutils: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "tsutils: unexpected failure\n");
    }
    return 0;
}
