// One mail message as TSMAIL builds it and as it waits in the spool directory. Its
// fields are the mailer contract's record (interfaces/mailer.h), which libtssmtp reads.
#pragma once

#include <string>

#include "interfaces/mailer.h"

class CMailMessage : public MailMessageRecord {
public:
    using MailMessageRecord::MailMessageRecord;

    // Makes a fresh "TSMxxxx.TMP" in directory, reports it in path at once (so the
    // caller can remove a half-written file) and writes the message into it.
    // Line breaks in the header fields become blanks: a value can never add a line.
    bool WriteToSpool(const std::string& directory, std::string& path);
    // Reads a spool file back; false with errorText set when it cannot.
    bool ReadFromSpool(const std::string& path);
    std::string GetTextField() const { return errorText; }

    // The spool file's bytes for this message.
    std::string SpoolText() const;
    // Parses spool file bytes into this message.
    bool ParseSpoolText(const std::string& text);
};

// A header value as it may stand on one line: every CR and LF becomes a blank.
std::string OneLineHeaderValue(const std::string& value);

// The default mail tree $TESSARO_HOME/Mail/ with LOG, SPOOL and UNDELIVR, made
// when missing; writes Mail\BaseDirectory, and Mail\BaseDirectoryRoot with the runtime root it
// lies in. False with the reason in error.
bool CreateDefaultMailDirectories(std::string& error);

class CRegistrySettings;

// Mail\BaseDirectory as it stands, or, when it names a folder inside a runtime root that has
// moved since (the root recorded beside it, or for an older record a folder "Mail" whose parent
// has gone), the same folder inside the present root; the settings are then rewritten so.
std::string MailBaseFollowingTheRoot(CRegistrySettings& settings, const std::string& base);
