// Where TSMAIL messages go: to the mail spooler once one is installed, else
// into text files under Mail/SPOOL below the engine's home.
#pragma once

#include <functional>
#include <string>

#include "engine/templates/output_section.h"

// Returns false with an error text when the message could not be spooled.
using MailSpooler = std::function<bool(const SectionMailMessage&, std::string& error)>;
void SetMailSpooler(MailSpooler spooler);

// Spools one message; throws CWebException* when it could not be spooled.
void SpoolSectionMail(const SectionMailMessage& message);
