// The detail of every error about a query a template names before (or without) running it.
#pragma once

#include <string>

#include "support/web_message.h"

// "The query named '<name>' has not yet executed. Please define this query in your template
// file above the places where you use it".
CWebMessage QueryNotYetExecutedText(const std::string& queryName);
