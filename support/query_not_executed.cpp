#include "support/query_not_executed.h"

CWebMessage QueryNotYetExecutedText(const std::string& queryName) {
    return CWebMessage("The query named '") + queryName +
           "' has not yet executed. Please define this query in your template file above the places where you use it";
}
