// libtshdmlgen.so: the one export the engine binds by name (interfaces/hdml_generator.h).
#include "hdmlgen/deck_generator.h"

extern "C" __attribute__((visibility("default"))) int GenerateHDMLDeck(const char* text, const char* path) {
    try {
        return GenerateDeckFile(text, path);
    } catch (...) {
        return kDeckOutputFailed;
    }
}
