// hdmlcdump: prints a compiled HDML deck as HDML text.
//   hdmlcdump DECKFILE      exit 0, or 1 with the reason on standard error
#include <fstream>
#include <iostream>
#include <sstream>

#include "hdmlgen/compiler/hdml_deck_dump.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: hdmlcdump DECKFILE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "hdmlcdump: cannot open " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string text, error;
    if (!hdml::DumpDeck(bytes.str(), text, error)) {
        std::cerr << "hdmlcdump: " << argv[1] << ": " << error << "\n";
        return 1;
    }
    std::cout << text;
    return std::cout ? 0 : 1;
}
