// Runs the fuzz entry without libFuzzer: a fixed number of deterministic random inputs of
// every kind, so that any compiler's build exercises the loaders with damaged tables.
// Usage: parser_table_fuzz_replay [iterations per kind]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "tests/parser/fuzz/fuzz_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
    std::mt19937 random(20261209);
    auto byte = [&] { return static_cast<std::uint8_t>(random() & 0xFF); };
    const std::uint32_t interesting[] = {0,          1,          2,          3,          0x7F,       0x80,
                                         0xFF,       0x100,      0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000,
                                         0xFFFFFFFE, 0xFFFFFFFF, 0x53534C58, 0x53535943, 0x40000000, 0x20000000};
    for (long i = 0; i < iterations; ++i) {
        for (std::uint8_t kind = 0; kind < 5; ++kind) {
            std::vector<std::uint8_t> input{kind};
            if (kind == 0 || kind == 1) {
                // A seed with some bytes flipped and maybe cut short.
                const auto& seed = kind == 0 ? parser_fuzz::LexSeed() : parser_fuzz::YaccSeed();
                input.insert(input.end(), seed.begin(), seed.end());
                int flips = 1 + random() % 4;
                for (int f = 0; f < flips; ++f) input[1 + random() % seed.size()] = byte();
                if (random() % 4 == 0) input.resize(1 + random() % seed.size());
            } else if (kind == 2 || kind == 3) {
                int patches = 1 + random() % 3;
                for (int p = 0; p < patches; ++p) {
                    std::uint32_t value = random() % 2 ? interesting[random() % std::size(interesting)]
                                                       : static_cast<std::uint32_t>(random());
                    input.push_back(byte());
                    input.push_back(random() % 4 == 0 ? 0 : byte() % 2);
                    for (int b = 0; b < 4; ++b) input.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
                }
            } else {
                const char alphabet[] = "0123456789+abcx<>!y# \n\r?";
                int length = random() % 40;
                for (int c = 0; c < length; ++c) {
                    input.push_back(random() % 8 == 0 ? byte() : alphabet[random() % (sizeof alphabet - 1)]);
                }
            }
            LLVMFuzzerTestOneInput(input.data(), input.size());
        }
    }
    std::printf("%ld inputs of each kind ran\n", iterations);
    return 0;
}
