#include "engine/templates/template_tables.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "engine/grammar/grammar_tables.h"
#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_parse_tables.h"

namespace {

std::mutex g_lock;
std::unique_ptr<SSLexStateTables> g_lex;
std::unique_ptr<SSParseTables> g_yacc;
// Published once both tables are complete; request threads read only these.
std::atomic<const SSLexStateTables*> g_sharedLex{nullptr};
std::atomic<const SSParseTables*> g_sharedYacc{nullptr};

}  // namespace

bool LoadTemplateParserTables() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_lex && g_yacc) return true;
    if (!tessaro::grammar::RegisterGrammarTables()) return false;
    try {
        auto lex = std::make_unique<SSLexStateTables>(nullptr, tessaro::grammar::kTemplateLexResource, "LEX");
        auto yacc = std::make_unique<SSParseTables>(nullptr, tessaro::grammar::kTemplateParseResource, "YACC");
        if (lex->pendingError().pending() || yacc->pendingError().pending()) return false;
        g_lex = std::move(lex);
        g_yacc = std::move(yacc);
        g_sharedYacc = g_yacc.get();
        g_sharedLex = g_lex.get();
    } catch (const SSException&) {
        return false;
    }
    return true;
}

void FreeTemplateParserTables() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_sharedLex = nullptr;
    g_sharedYacc = nullptr;
    g_lex.reset();
    g_yacc.reset();
}

const SSLexStateTables* TemplateLexTables() {
    return g_sharedLex.load();
}
const SSParseTables* TemplateParseTables() {
    return g_sharedYacc.load();
}
