// The detail of every error about a query a template names before (or without) running it.
#pragma once

#include <string>

// "The query named '<name>' has not yet executed. Please define this query in your template
// file above the places where you use it", with the name HTML-escaped: it comes from the
// template or the request and goes into an error page.
std::string QueryNotYetExecutedText(const std::string& queryName);
