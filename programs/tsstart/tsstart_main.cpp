#include "platform/service_starter.h"

int main(int argc, char** argv) { return tessaro::platform::RunServiceStarter(argc, argv); }
