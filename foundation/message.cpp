#include "foundation/message.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/rwassert.h"

namespace {

constexpr const char kTools[] = "rwtools7.0";
constexpr const char kCore[] = "rwcore7.0";

constexpr RWMsgRecord kRecords[] = {
    {kTools, 0x2000, "[ALLOCOUT] %s destructor called with allocation outstanding"},
    {kTools, 0x2001, "[BADRE] Attempt to use invalid regular expression"},
    {kTools, 0x2002, "[CRABS] RWFactory: attempting to create abstract class with ID %hu (0x%hx)"},
    {kTools, 0x2003, "[FLIST] Free list size error: expected %ld, got %ld"},
    {kTools, 0x2004, "[ID] Unexpected class ID %hu; should be %hu"},
    {kTools, 0x2005, "[INDEX] Index (%u) out of range [0->%u]"},
    {kTools, 0x2006, "[LOCK] Locked object deleted"},
    {kTools, 0x2007, "[LONGINDEX] Long index (%lu) out of range [0->%lu]"},
    {kTools, 0x2008, "[MAGIC] Bad magic number: %ld (should be %ld)"},
    {kTools, 0x2009, "[NEVECL] Unequal vector lengths: %u versus %u"},
    {kTools, 0x200a, "[NOCREATE] RWFactory: no create function for class with ID %hu (0x%hx)"},
    {kTools, 0x200b, "[NOTALLOW] Function not allowed for derived class"},
    {kTools, 0x200c, "[READERR] Read error"},
    {kTools, 0x200d, "[REF] Bad persistence reference"},
    {kTools, 0x200e, "[SEEKERR] Seek error"},
    {kTools, 0x200f, "[STREAM] Bad input stream"},
    {kTools, 0x2010, "[SUBSTRING] Illegal substring (%d, %u) from %u element RWCString"},
    {kTools, 0x2011, "[UNLOCK] Improper use of locked object"},
    {kTools, 0x2012, "[WRITEERR] Write error"},
    {kTools, 0x2013, "[INDEXERR] Illegal Index (%u) for collection or string with %u elements"},
    {kTools, 0x2014, "[NPOSINDEX] The value RW_NPOS cannot be used as an index."},
    {kTools, 0x2015, "[NOPERSIST] Persistence not implemented for type %s."},
    {kCore, 0x1000, "[EOF] EOF on input"},
    {kCore, 0x1001, "[GENERIC] Generic error number %d; %s"},
    {kCore, 0x1002, "[INVADDR] Invalid address: %lx"},
    {kCore, 0x1003, "[LOCK] Unable to lock memory"},
    {kCore, 0x1004, "[NOINIT] Memory allocated without being initialized"},
    {kCore, 0x1005, "[NOMEM] No memory"},
    {kCore, 0x1006, "[OPERR] Could not open file %s"},
    {kCore, 0x1007, "[OUTALLOC] Memory released with allocations still outstanding"},
    {kCore, 0x1008, "[OVFLOW] Overflow error -> \"%.*s\" <- (%u max characters)"},
    {kCore, 0x1009, "[STREAM] Bad input stream"},
    {kCore, 0x100a, "[SYNSTREAM] Syntax error in input stream: expected %s, got %s"},
};

constexpr std::size_t kToolsFirst = 0;
constexpr std::size_t kCoreFirst = 22;

char* duplicate(const char* text) {
    std::size_t n = std::strlen(text) + 1;
    char* p = new char[n];
    std::memcpy(p, text, n);
    return p;
}

}  // namespace

const char* rwMsgText(RWMsgId rec) {
    RW_ASSERT(rec != nullptr);
    return rec->text;
}

RWMsgId rwFindMessage(const char* catalogue, std::uint32_t id) {
    if (!catalogue) return nullptr;
    for (const RWMsgRecord& r : kRecords)
        if (r.id == id && std::strcmp(r.catalogue, catalogue) == 0) return &r;
    return nullptr;
}

#define RW_TOOL_RECORD(name, offset)              \
    RWMsgId RWTOOL_##name() {                     \
        return &kRecords[kToolsFirst + (offset)]; \
    }
#define RW_CORE_RECORD(name, offset)             \
    RWMsgId RWCORE_##name() {                    \
        return &kRecords[kCoreFirst + (offset)]; \
    }

RW_TOOL_RECORD(ALLOCOUT, 0x00)
RW_TOOL_RECORD(BADRE, 0x01)
RW_TOOL_RECORD(CRABS, 0x02)
RW_TOOL_RECORD(FLIST, 0x03)
RW_TOOL_RECORD(ID, 0x04)
RW_TOOL_RECORD(INDEX, 0x05)
RW_TOOL_RECORD(LOCK, 0x06)
RW_TOOL_RECORD(LONGINDEX, 0x07)
RW_TOOL_RECORD(MAGIC, 0x08)
RW_TOOL_RECORD(NEVECL, 0x09)
RW_TOOL_RECORD(NOCREATE, 0x0a)
RW_TOOL_RECORD(NOTALLOW, 0x0b)
RW_TOOL_RECORD(READERR, 0x0c)
RW_TOOL_RECORD(REF, 0x0d)
RW_TOOL_RECORD(SEEKERR, 0x0e)
RW_TOOL_RECORD(STREAM, 0x0f)
RW_TOOL_RECORD(SUBSTRING, 0x10)
RW_TOOL_RECORD(UNLOCK, 0x11)
RW_TOOL_RECORD(WRITEERR, 0x12)
RW_TOOL_RECORD(INDEXERR, 0x13)
RW_TOOL_RECORD(NPOSINDEX, 0x14)
RW_TOOL_RECORD(NOPERSIST, 0x15)
RW_CORE_RECORD(EOF, 0x0)
RW_CORE_RECORD(GENERIC, 0x1)
RW_CORE_RECORD(INVADDR, 0x2)
RW_CORE_RECORD(LOCK, 0x3)
RW_CORE_RECORD(NOINIT, 0x4)
RW_CORE_RECORD(NOMEM, 0x5)
RW_CORE_RECORD(OPERR, 0x6)
RW_CORE_RECORD(OUTALLOC, 0x7)
RW_CORE_RECORD(OVFLOW, 0x8)
RW_CORE_RECORD(STREAM, 0x9)
RW_CORE_RECORD(SYNSTREAM, 0xa)

RWMessageText::RWMessageText(const char* text) {
    RW_ASSERT(text != nullptr);
    text_ = duplicate(text);
}

RWMessageText RWMessageText::vformat(RWMsgId rec, std::va_list args) {
    RW_ASSERT(rec != nullptr);
    // The usual message fits the stack buffer; a longer one (a long file name, say) is
    // formatted again into a buffer of its real size.
    char buf[504];
    std::va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(buf, sizeof buf, rec->text, args);
    if (n < 0) {
        va_end(again);
        return RWMessageText(Adopt{}, duplicate(rec->text));
    }
    char* text = new char[static_cast<std::size_t>(n) + 1];
    if (static_cast<std::size_t>(n) < sizeof buf) {
        std::memcpy(text, buf, static_cast<std::size_t>(n) + 1);
    } else {
        std::vsnprintf(text, static_cast<std::size_t>(n) + 1, rec->text, again);
    }
    va_end(again);
    return RWMessageText(Adopt{}, text);
}

RWMessageText::RWMessageText(RWMsgId rec, ...) : text_(nullptr) {
    std::va_list args;
    va_start(args, rec);
    RWMessageText m = vformat(rec, args);
    va_end(args);
    text_ = m.text_;
    m.text_ = nullptr;
}

RWMessageText::RWMessageText(const RWMessageText& other) : text_(duplicate(other.text_)) {}

RWMessageText& RWMessageText::operator=(const RWMessageText& other) {
    if (this != &other) {
        char* copy = duplicate(other.text_);
        delete[] text_;
        text_ = copy;
    }
    return *this;
}

RWMessageText::~RWMessageText() {
    delete[] text_;
}

RWMessageText rwFormatMessage(RWMsgId rec, ...) {
    std::va_list args;
    va_start(args, rec);
    RWMessageText m = RWMessageText::vformat(rec, args);
    va_end(args);
    return m;
}
