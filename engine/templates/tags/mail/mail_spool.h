// Where TSMAIL messages go: to a spooler installed by tests, else to the engine's
// mail spooler as spool files for its delivery pass.
#pragma once

#include <functional>
#include <string>

#include "engine/templates/output_section.h"

// Returns false with an error text when the message could not be spooled.
using MailSpooler = std::function<bool(const SectionMailMessage&, std::string& error)>;
void SetMailSpooler(MailSpooler spooler);

// Spools one message; throws CWebException* when it could not be spooled.
void SpoolSectionMail(const SectionMailMessage& message);

// Tells the engine's mail spooler that messages are waiting (nothing when a test's
// spooler is installed).
void NotifySectionMailPosted();
