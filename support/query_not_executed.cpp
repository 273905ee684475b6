#include "support/query_not_executed.h"

#include "support/html_escape.h"

std::string QueryNotYetExecutedText(const std::string& queryName) {
    return "The query named '" + HtmlEscape(queryName) +
           "' has not yet executed. Please define this query in your template file above the places where you use it";
}
