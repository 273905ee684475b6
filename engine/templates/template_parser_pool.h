// Template parsers kept per thread: a request takes one for each template it runs (the
// page, Application.tsm, every TSINCLUDE and custom tag, nested) and gives it back when
// the page lets go of it, ready for the next request on the same thread.
#pragma once

#include <memory>

class CQueryPage;
class CTemplateParser;

struct TemplateParserReturn {
    void operator()(CTemplateParser* parser) const noexcept;
};
using TemplateParserLease = std::unique_ptr<CTemplateParser, TemplateParserReturn>;

// A parser in a new parser's state for `page`.
TemplateParserLease LeaseTemplateParser(CQueryPage& page);
