// One mail message as TSMAIL builds it, as it waits in the spool directory and as
// the mailer library reads it. The field order is shared with libtssmtp, which
// reads the fields of the object the engine hands it: keep it.
#pragma once

#include <string>

class CMailMessage {
public:
    CMailMessage() = default;
    CMailMessage(std::string server, int port, int timeout, std::string from, std::string to, std::string cc,
                 std::string subject, std::string extraHeaders, std::string body, std::string attachment)
        : valid(true),
          server(std::move(server)),
          port(port),
          timeout(timeout),
          from(std::move(from)),
          to(std::move(to)),
          cc(std::move(cc)),
          subject(std::move(subject)),
          extraHeaders(std::move(extraHeaders)),
          body(std::move(body)),
          attachment(std::move(attachment)) {}
    virtual ~CMailMessage() = default;

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

    bool valid = false;
    std::string errorText;
    std::string server;  // empty: the Mail\MailServer setting
    int port = -1;       // -1: Mail\SMTPPort
    int timeout = -1;    // seconds; -1: Mail\Timeout
    std::string from;
    std::string to;
    std::string cc;
    std::string subject;
    std::string extraHeaders;  // "Name: value\r\n" lines, then an empty line
    std::string body;
    std::string attachment;
};

// A header value as it may stand on one line: every CR and LF becomes a blank.
std::string OneLineHeaderValue(const std::string& value);

// The default mail tree $TESSARO_HOME/Mail/ with LOG, SPOOL and UNDELIVR, made
// when missing; writes Mail\BaseDirectory. False with the reason in error.
bool CreateDefaultMailDirectories(std::string& error);
