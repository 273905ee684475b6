#include "engine/templates/template_parser_pool.h"

#include <vector>

#include "engine/templates/template_parser.h"

namespace {

// Enough for the usual depth of includes; a deeper page's extra parsers are freed.
constexpr std::size_t kKeptParsers = 8;

// Set while the thread's pool is destroyed: a page freed after that frees its parsers.
thread_local bool t_closed = false;

struct Pool {
    std::vector<std::unique_ptr<CTemplateParser>> idle;
    ~Pool() { t_closed = true; }
};

Pool* ThreadPool() {
    if (t_closed) return nullptr;
    thread_local Pool pool;
    return &pool;
}

}  // namespace

void TemplateParserReturn::operator()(CTemplateParser* parser) const noexcept {
    if (parser == nullptr) return;
    std::unique_ptr<CTemplateParser> owned(parser);
    try {
        // The file, stack and values of this page go now, not with the next request.
        parser->Release();
        Pool* pool = ThreadPool();
        if (pool != nullptr && pool->idle.size() < kKeptParsers) pool->idle.push_back(std::move(owned));
    } catch (...) {
        // Only the keeping failed: the parser is freed instead.
    }
}

TemplateParserLease LeaseTemplateParser(CQueryPage& page) {
    Pool* pool = ThreadPool();
    if (pool != nullptr && !pool->idle.empty()) {
        TemplateParserLease lease(pool->idle.back().release());
        pool->idle.pop_back();
        lease->Prepare(page);
        return lease;
    }
    return TemplateParserLease(new CTemplateParser(page));
}
