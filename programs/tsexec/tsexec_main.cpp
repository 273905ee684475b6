// tsexec: the executive service that keeps the engine running and purges
// expired client variables.
#include <string>
#include <vector>

#include "executive/executive_service.h"

int main(int argc, char** argv) {
    return RunExecutive(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)));
}
