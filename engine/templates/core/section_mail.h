// Where TSMAIL messages go: to the engine's mail spooler, as spool files for its
// delivery pass.
#pragma once

#include <string>

#include "engine/templates/core/output_section.h"

class TSMail;

// Spools one message through spooler (null: the engine has none, so nothing can be
// spooled); throws CWebException* when it could not be spooled.
void SpoolSectionMail(TSMail* spooler, const SectionMailMessage& message);

// Tells the spooler that messages are waiting (nothing without one).
void NotifySectionMailPosted(TSMail* spooler);
