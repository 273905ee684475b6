// Fuzz entry over the table loaders, the lexer and the parser. The first byte picks what
// the rest of the input is:
//   0  a LEX table            1  a YACC table
//   2  patches to the LEX seed 3  patches to the YACC seed (6 bytes each: u16 word, u32 value)
//   4  text for the lexer over the LEX seed
// Any loaded table is then used to scan and parse a sample text. Only SSException may leave
// the runtime; anything else (a crash, a sanitizer report, a hang) is a finding.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/parser/ss_lex.h"
#include "engine/parser/ss_parse_tables.h"
#include "engine/parser/ss_yacc.h"
#include "tests/parser/fuzz/fuzz_seeds.h"

namespace {

class FuzzParser : public SSYacc {
public:
    SSRefPtr<SSParseStackEntry> reduce(std::uint32_t production, std::uint32_t rhsLength) override {
        if (rhsLength > 0) elementFromProduction(production % rhsLength);
        return stackElement();
    }
};

std::vector<unsigned char> patched(const std::vector<unsigned char>& seed, const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> table = seed;
    const std::size_t words = table.size() / 4;
    for (std::size_t i = 0; i + 6 <= size; i += 6) {
        std::size_t word = (data[i] | data[i + 1] << 8) % (words + 1);
        if (word == words) {
            // Truncation instead of a patch.
            table.resize(data[i + 2] % (table.size() + 1));
            continue;
        }
        for (int b = 0; b < 4 && 4 * word + b < table.size(); ++b) table[4 * word + b] = data[i + 2 + b];
    }
    return table;
}

void scan(const SSLexStateTables& tables, const char* text, std::size_t length) {
    for (std::uint32_t list = 0; list < tables.listCount() && list < 4; ++list) {
        SSLex lexer;
        lexer.setTables(&tables);
        lexer.setSource(std::make_unique<SSStringInputSource>(text, length));
        try {
            lexer.pushExpressionList(list);
            for (int i = 0; i < 10000 && lexer.nextToken(); ++i) {
            }
        } catch (const SSException&) {
        }
    }
}

void parse(const SSParseTables& table) {
    static const SSLexStateTables lexTables(parser_fuzz::LexSeed().data(), parser_fuzz::LexSeed().size(), "SEED");
    SSLex lexer;
    lexer.setTables(&lexTables);
    lexer.setSource(std::make_unique<SSStringInputSource>(parser_fuzz::kSampleText));
    FuzzParser parser;
    parser.setLex(&lexer);
    parser.setTable(&table);
    try {
        lexer.pushExpressionList(0);
        parser.parse();
        for (std::uint32_t s = 0; s <= table.stateCount(); ++s) parser.expectedTokens(s);
    } catch (const SSException&) {
    }
}

void lexTable(const unsigned char* bytes, std::size_t size) {
    try {
        SSLexStateTables tables(bytes, size, "FUZZ");
        scan(tables, parser_fuzz::kSampleText, std::strlen(parser_fuzz::kSampleText));
    } catch (const SSException&) {
    }
}

void yaccTable(const unsigned char* bytes, std::size_t size) {
    try {
        SSParseTables table(bytes, size, "FUZZ");
        parse(table);
    } catch (const SSException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t* rest = data + 1;
    const std::size_t restSize = size - 1;
    // Exact-size copies so that a sanitizer sees any read past the end.
    switch (data[0] % 5) {
        case 0: {
            std::vector<unsigned char> bytes(rest, rest + restSize);
            lexTable(bytes.data(), bytes.size());
            break;
        }
        case 1: {
            std::vector<unsigned char> bytes(rest, rest + restSize);
            yaccTable(bytes.data(), bytes.size());
            break;
        }
        case 2: {
            std::vector<unsigned char> bytes = patched(parser_fuzz::LexSeed(), rest, restSize);
            lexTable(bytes.data(), bytes.size());
            break;
        }
        case 3: {
            std::vector<unsigned char> bytes = patched(parser_fuzz::YaccSeed(), rest, restSize);
            yaccTable(bytes.data(), bytes.size());
            break;
        }
        default: {
            static const SSLexStateTables tables(parser_fuzz::LexSeed().data(), parser_fuzz::LexSeed().size(), "SEED");
            std::vector<char> text(rest, rest + restSize);
            scan(tables, text.data(), text.size());
            break;
        }
    }
    return 0;
}
