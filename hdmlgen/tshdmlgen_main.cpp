// libtshdmlgen.so: the one export the engine binds by name.
#include "hdmlgen/deck_generator.h"

// 1: the compiled deck is in path; 0: an HTML page with the errors is there
// instead; -1: nothing usable could be written to path.
extern "C" __attribute__((visibility("default"))) int GenerateHDMLDeck(const char* text, const char* path) {
    try {
        return GenerateDeckFile(text, path);
    } catch (...) {
        return kDeckOutputFailed;
    }
}
