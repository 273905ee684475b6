// tsexec: the executive service that keeps the engine running and purges
// expired client variables.
#include <string>

#include "executive/executive_service.h"

int main(int argc, char** argv) {
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) arguments += ' ';
        arguments += argv[i];
    }
    return RunExecutive(arguments);
}
