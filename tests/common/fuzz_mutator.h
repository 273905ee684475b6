// A small deterministic mutation driver for fuzz tests: seed texts (the fenced examples of the
// template guide) changed by byte flips, cut and copied ranges, splices with another seed and
// insertions of words the template and expression languages care about. The same seed number
// gives the same cases on every run, so a finding is reproduced by running the test again.
// Findings are what the sanitizers report (a test build with TESSARO_SANITIZE aborts on one)
// and whatever the test itself refuses.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/common/file_text.h"

namespace tessaro::test {

// The fenced code blocks of docs/templates.md, in order (the fences dropped).
inline std::vector<std::string> GuideExampleBlocks() {
    std::vector<std::string> blocks;
    std::string block;
    bool inside = false;
    for (const std::string& line : SourceLines("docs/templates.md")) {
        if (line.rfind("```", 0) == 0) {
            if (inside && !block.empty()) blocks.push_back(block);
            block.clear();
            inside = !inside;
            continue;
        }
        if (inside) block += line + "\n";
    }
    return blocks;
}

class FuzzMutator {
public:
    FuzzMutator(std::uint32_t seed, std::vector<std::string> seeds, std::vector<std::string> words)
        : m_rng(seed), m_seeds(std::move(seeds)), m_words(std::move(words)) {}

    std::string Next() {
        std::string text = Pick(m_seeds);
        const int steps = 1 + static_cast<int>(Below(4));
        for (int i = 0; i < steps; ++i) Mutate(text);
        return text;
    }

private:
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : m_rng() % n; }
    const std::string& Pick(const std::vector<std::string>& from) { return from[Below(from.size())]; }

    void Mutate(std::string& text) {
        const std::size_t at = Below(text.size() + 1);
        switch (Below(7)) {
            case 0:  // one byte changed (any value but NUL, which ends a C text)
                if (!text.empty()) text[Below(text.size())] = static_cast<char>(1 + Below(255));
                break;
            case 1:
            case 2:  // a word of the languages
                text.insert(at, Pick(m_words));
                break;
            case 3: {  // a range cut out
                const std::size_t length = Below(text.size() - at + 1);
                text.erase(at, length);
                break;
            }
            case 4: {  // a range copied elsewhere
                const std::size_t length = Below(std::min<std::size_t>(64, text.size() - at) + 1);
                text.insert(Below(text.size() + 1), text.substr(at, length));
                break;
            }
            case 5: {  // spliced with another seed
                const std::string& other = Pick(m_seeds);
                text = text.substr(0, at) + other.substr(Below(other.size() + 1));
                break;
            }
            default:  // a number at its type's edges
                text.insert(at, Pick(kNumbers));
                break;
        }
    }

    inline static const std::vector<std::string> kNumbers = {
        "0", "-1", "2147483647", "2147483648", "-2147483649", "4294967297", "1E308", "1.5E-320", "99999999999999999999"};

    std::mt19937 m_rng;
    std::vector<std::string> m_seeds;
    std::vector<std::string> m_words;
};

// Runs cases until `count` have run or `budget` has passed; returns how many ran.
template <class Case>
int RunFuzzCases(int count, std::chrono::seconds budget, Case&& run) {
    const auto stop = std::chrono::steady_clock::now() + budget;
    int done = 0;
    while (done < count && std::chrono::steady_clock::now() < stop) run(done++);
    return done;
}

}  // namespace tessaro::test
