#pragma once

#include <cstdarg>
#include <cstdint>

// The static message catalogue of the foundation classes. The default text of a record
// is always the one used; records are reached through their accessor functions.

struct RWMsgRecord {
    const char* catalogue;  // "rwtools7.0" or "rwcore7.0"
    std::uint32_t id;
    const char* text;  // printf-style format
};

using RWMsgId = const RWMsgRecord*;

// The default (format) text of a record.
const char* rwMsgText(RWMsgId rec);

// Looks a record up by catalogue name and id; null when there is none.
RWMsgId rwFindMessage(const char* catalogue, std::uint32_t id);

// "rwtools7.0"
RWMsgId RWTOOL_ALLOCOUT();   // 0x2000
RWMsgId RWTOOL_BADRE();      // 0x2001
RWMsgId RWTOOL_CRABS();      // 0x2002
RWMsgId RWTOOL_FLIST();      // 0x2003
RWMsgId RWTOOL_ID();         // 0x2004
RWMsgId RWTOOL_INDEX();      // 0x2005
RWMsgId RWTOOL_LOCK();       // 0x2006
RWMsgId RWTOOL_LONGINDEX();  // 0x2007
RWMsgId RWTOOL_MAGIC();      // 0x2008
RWMsgId RWTOOL_NEVECL();     // 0x2009
RWMsgId RWTOOL_NOCREATE();   // 0x200a
RWMsgId RWTOOL_NOTALLOW();   // 0x200b
RWMsgId RWTOOL_READERR();    // 0x200c
RWMsgId RWTOOL_REF();        // 0x200d
RWMsgId RWTOOL_SEEKERR();    // 0x200e
RWMsgId RWTOOL_STREAM();     // 0x200f
RWMsgId RWTOOL_SUBSTRING();  // 0x2010
RWMsgId RWTOOL_UNLOCK();     // 0x2011
RWMsgId RWTOOL_WRITEERR();   // 0x2012
RWMsgId RWTOOL_INDEXERR();   // 0x2013
RWMsgId RWTOOL_NPOSINDEX();  // 0x2014
RWMsgId RWTOOL_NOPERSIST();  // 0x2015

// "rwcore7.0"
RWMsgId RWCORE_EOF();        // 0x1000
RWMsgId RWCORE_GENERIC();    // 0x1001
RWMsgId RWCORE_INVADDR();    // 0x1002
RWMsgId RWCORE_LOCK();       // 0x1003
RWMsgId RWCORE_NOINIT();     // 0x1004
RWMsgId RWCORE_NOMEM();      // 0x1005
RWMsgId RWCORE_OPERR();      // 0x1006
RWMsgId RWCORE_OUTALLOC();   // 0x1007
RWMsgId RWCORE_OVFLOW();     // 0x1008
RWMsgId RWCORE_STREAM();     // 0x1009
RWMsgId RWCORE_SYNSTREAM();  // 0x100a

// A formatted message: the record's text formatted with printf-style arguments, kept as
// an owned heap copy. Long results are formatted in full, never truncated or overrun.
class RWMessageText {
public:
    explicit RWMessageText(const char* text);
    RWMessageText(RWMsgId rec, ...);
    RWMessageText(const RWMessageText& other);
    RWMessageText& operator=(const RWMessageText& other);
    ~RWMessageText();

    const char* str() const { return text_; }

    static RWMessageText vformat(RWMsgId rec, std::va_list args);

private:
    struct Adopt {};
    RWMessageText(Adopt, char* owned) : text_(owned) {}
    char* text_;
};

// Formats a record into a message (the same as constructing RWMessageText from it).
RWMessageText rwFormatMessage(RWMsgId rec, ...);
