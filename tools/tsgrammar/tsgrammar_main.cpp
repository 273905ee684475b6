// tsgrammar: builds the LEX and YACC tables of a grammar file at build time.
//
//   tsgrammar GRAMMAR --prefix NAME --namespace NS --source OUT.cpp
//             [--symbols OUT.h] [--descriptions OUT.h] [--check-symbols CHECKED_IN.h]
//             [--listing OUT.txt] [--allow-conflicts]
//
// Exit status 1 on any grammar error, on a conflict that precedence does not settle
// (unless --allow-conflicts), and when the checked-in symbols header is out of date.
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/tsgrammar/grammar_compiler.h"

namespace {

bool readFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

bool writeIfChanged(const std::string& path, const std::string& text) {
    std::string old;
    if (readFile(path, &old) && old == text) return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

int usage() {
    std::cerr << "usage: tsgrammar GRAMMAR --prefix NAME --namespace NS --source OUT.cpp [--symbols OUT.h]"
                 " [--descriptions OUT.h] [--check-symbols FILE.h] [--listing OUT.txt] [--allow-conflicts]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string grammarPath, prefix, ns, source, symbols, descriptions, checkSymbols, listing;
    bool allowConflicts = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        if (a == "--prefix") {
            if (!value(&prefix)) return usage();
        } else if (a == "--namespace") {
            if (!value(&ns)) return usage();
        } else if (a == "--source") {
            if (!value(&source)) return usage();
        } else if (a == "--symbols") {
            if (!value(&symbols)) return usage();
        } else if (a == "--descriptions") {
            if (!value(&descriptions)) return usage();
        } else if (a == "--check-symbols") {
            if (!value(&checkSymbols)) return usage();
        } else if (a == "--listing") {
            if (!value(&listing)) return usage();
        } else if (a == "--allow-conflicts") {
            allowConflicts = true;
        } else if (grammarPath.empty() && a.rfind("--", 0) != 0) {
            grammarPath = a;
        } else {
            return usage();
        }
    }
    if (grammarPath.empty() || prefix.empty() || ns.empty() || source.empty()) return usage();
    std::string text;
    if (!readFile(grammarPath, &text)) {
        std::cerr << "tsgrammar: cannot read " << grammarPath << "\n";
        return 1;
    }
    try {
        tsgrammar::CompiledGrammar c = tsgrammar::CompileGrammar(text, grammarPath);
        // Conflicts settled by precedence are the grammar working as written; the report is
        // only news when something is left unsettled.
        if (c.parse.unsettled()) std::cout << tsgrammar::ConflictReport(c);
        if (!listing.empty() && !writeIfChanged(listing, tsgrammar::WriteListing(c.lex, c.parse))) {
            std::cerr << "tsgrammar: cannot write " << listing << "\n";
            return 1;
        }
        if (c.parse.unsettled() && !allowConflicts) {
            std::cerr << "tsgrammar: " << grammarPath << ": conflicts not settled by precedence\n";
            return 1;
        }
        std::string header = tsgrammar::WriteSymbolsHeader(c.grammar, ns);
        if (!checkSymbols.empty()) {
            std::string checkedIn;
            if (!readFile(checkSymbols, &checkedIn) || checkedIn != header) {
                std::cerr << "tsgrammar: " << checkSymbols << " does not match " << grammarPath
                          << "; rewrite it with: tsgrammar " << grammarPath << " --prefix " << prefix << " --namespace "
                          << ns << " --source /dev/null --symbols " << checkSymbols << "\n";
                return 1;
            }
        }
        if (!symbols.empty() && !writeIfChanged(symbols, header)) {
            std::cerr << "tsgrammar: cannot write " << symbols << "\n";
            return 1;
        }
        if (!descriptions.empty() &&
            !writeIfChanged(descriptions, tsgrammar::WriteDescriptionsHeader(c.grammar, ns))) {
            std::cerr << "tsgrammar: cannot write " << descriptions << "\n";
            return 1;
        }
        if (!writeIfChanged(source, tsgrammar::WriteTablesSource(c.grammar, prefix, c.lexBlob, c.parseBlob))) {
            std::cerr << "tsgrammar: cannot write " << source << "\n";
            return 1;
        }
    } catch (const tsgrammar::GrammarError& e) {
        std::cerr << "tsgrammar: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
