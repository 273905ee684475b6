#include "foundation/rwzone.h"

#include "foundation/rwdate.h"

#include <climits>
#include <mutex>

namespace {

// The United States history, newest first, and the European rule.
constexpr RWDstRule kA0{nullptr, 0, true, {3, 4, 0, 120}, {9, 4, 0, 120}};
constexpr RWDstRule kA1967{&kA0, 1967, true, {3, 0, 0, 120}, {9, 4, 0, 120}};
constexpr RWDstRule kA1974{&kA1967, 1974, true, {0, 0, 0, 120}, {9, 4, 0, 120}};
constexpr RWDstRule kA1975{&kA1974, 1975, true, {1, 4, 0, 120}, {9, 4, 0, 120}};
constexpr RWDstRule kA1976{&kA1975, 1976, true, {3, 4, 0, 120}, {9, 4, 0, 120}};
constexpr RWDstRule kA1987{&kA1976, 1987, true, {3, 0, 0, 120}, {9, 4, 0, 120}};
constexpr RWDstRule kE0{nullptr, 0, true, {2, 4, 0, 120}, {8, 4, 0, 120}};

struct ZoneNames {
    const char* standard;
    const char* daylight;
};
constexpr ZoneNames kZoneNames[24] = {
    {"GMT+12", "GMT+11"}, {"GMT+11", "GMT+10"}, {"GMT+10", "GMT+9"},  {"GMT+9", "GMT+8"},   {"GMT+8", "GMT+7"},
    {"GMT+7", "GMT+6"},   {"GMT+6", "GMT+5"},   {"GMT+5", "GMT+4"},   {"GMT+4", "GMT+3"},   {"GMT+3", "GMT+2"},
    {"EET", "EET DST"},   {"MET", "MET DST"},   {"GMT", "WET DST"},   {"GMT-1", "GMT-2"},   {"GMT-2", "GMT-3"},
    {"GMT-3", "GMT-4"},   {"GMT-4", "GMT-5"},   {"EST", "EDT"},       {"CST", "CDT"},       {"MST", "MDT"},
    {"PST", "PDT"},       {"YST", "YDT"},       {"GMT-10", "GMT-11"}, {"GMT-11", "GMT-12"},
};

void fillInvalid(struct tm* t) {
    t->tm_sec = t->tm_min = t->tm_hour = INT_MIN;
    t->tm_mday = t->tm_mon = t->tm_year = INT_MIN;
    t->tm_wday = t->tm_yday = t->tm_isdst = INT_MIN;
}

// Day of month of a rule point in the month of t (t's tm_mday and tm_wday agree).
int pointDay(const RWDstRule::Point& p, const struct tm* t) {
    if (p.week < 0) return p.weekday;
    if (p.week >= 4) {
        const int length = static_cast<int>(
            RWJulianDate::monthLength(static_cast<unsigned>(t->tm_mon + 1), static_cast<unsigned>(t->tm_year + 1900)));
        return length - (((t->tm_wday - p.weekday + (length - t->tm_mday) + 7) % 7 + 7) % 7);
    }
    return 7 * p.week + ((p.weekday - t->tm_wday + t->tm_mday + 6) % 7 + 7) % 7 + 1;
}

bool before(const struct tm* t, const RWDstRule::Point& p) {
    if (t->tm_mon == p.month) {
        const int d = pointDay(p, t);
        if (t->tm_mday == d) return t->tm_hour * 60 + t->tm_min < p.minute;
        return t->tm_mday < d;
    }
    return t->tm_mon < p.month;
}

std::mutex& zonesLock() {
    static std::mutex lock;
    return lock;
}

const RWZone* g_local = nullptr;
const RWZone* g_standard = nullptr;
const RWZone* g_localStandard = nullptr;
const RWZone* g_utc = nullptr;

// Caller holds zonesLock().
const RWZone* localLocked() {
    if (!g_local) g_local = new RWZoneInfo(RWZoneInfo::fromRuntime());
    return g_local;
}

}  // namespace

const RWDstRule* RWDstRule::ruleSet(int number) {
    switch (number) {
        case 1:
            return &kA1987;
        case 2:
            return &kE0;
        default:
            return nullptr;
    }
}

const RWDstRule* RWDstRule::lookup(const RWDstRule* chain, const struct tm* t) {
    const long year = static_cast<long>(t->tm_year) + 1900;
    for (const RWDstRule* r = chain; r; r = r->next)
        if (r->firstYear <= year) return r;
    return nullptr;
}

RWZoneInfo::RWZoneInfo(int zoneNumber, int ruleSet) {
    fromZoneNumber(zoneNumber, RWDstRule::ruleSet(ruleSet));
}

RWZoneInfo::RWZoneInfo(int zoneNumber, const RWDstRule* chain) {
    fromZoneNumber(zoneNumber, chain);
}

RWZoneInfo::RWZoneInfo(long offsetSeconds, const RWCString& name)
    : stdOffset_(offsetSeconds), stdName_(name), dstOffset_(offsetSeconds), dstName_(name) {}

RWZoneInfo::RWZoneInfo(const RWDstRule* chain, long stdOffset, const RWCString& stdName, long dstOffset,
                       const RWCString& dstName)
    : rules_(chain),
      observed_(chain != nullptr),
      stdOffset_(stdOffset),
      stdName_(stdName),
      dstOffset_(dstOffset),
      dstName_(dstName) {}

void RWZoneInfo::fromZoneNumber(int zoneNumber, const RWDstRule* chain) {
    rules_ = chain;
    observed_ = chain != nullptr;
    stdOffset_ = static_cast<long>(zoneNumber) * 3600;
    dstOffset_ = chain ? stdOffset_ - 3600 : stdOffset_;
    // Numbers outside the table keep their offsets but get no names.
    if (zoneNumber >= -12 && zoneNumber <= 11) {
        const ZoneNames& names = kZoneNames[zoneNumber + 12];
        stdName_ = names.standard;
        dstName_ = chain ? names.daylight : names.standard;
    }
}

RWZoneInfo RWZoneInfo::fromRuntime() {
    tzset();
    const long offset = ::timezone;
    const RWDstRule* chain = ::daylight ? RWDstRule::ruleSet(1) : nullptr;
    return RWZoneInfo(chain, offset, tzname[0] ? tzname[0] : "", offset - 3600, tzname[1] ? tzname[1] : "");
}

bool RWZoneInfo::isDaylight(const struct tm* t) const {
    if (!observed_) return false;
    const RWDstRule* r = RWDstRule::lookup(rules_, t);
    if (!r || !r->observed) return false;
    const bool b = before(t, r->begin);
    const bool e = before(t, r->end);
    if (r->begin.month < r->end.month) return b != e;
    return b == e;
}

void RWZoneInfo::placePoint(struct tm* t, bool begin) const {
    const RWDstRule* r = observed_ ? RWDstRule::lookup(rules_, t) : nullptr;
    if (!r || !r->observed) {
        fillInvalid(t);
        return;
    }
    const RWDstRule::Point& p = begin ? r->begin : r->end;
    t->tm_mon = p.month;
    t->tm_mday = 1;
    const RWJulianDate first(1u, static_cast<unsigned>(p.month + 1), static_cast<unsigned>(t->tm_year + 1900));
    t->tm_wday = static_cast<int>(first.weekDay() % 7);
    t->tm_mday = pointDay(p, t);
    t->tm_wday = p.weekday;
    t->tm_hour = p.minute / 60;
    t->tm_min = p.minute % 60;
    t->tm_sec = 0;
    t->tm_isdst = -1;
}

void RWZoneInfo::getBeginDaylight(struct tm* t) const {
    placePoint(t, true);
}

void RWZoneInfo::getEndDaylight(struct tm* t) const {
    placePoint(t, false);
}

const RWZone& RWZone::local() {
    std::lock_guard<std::mutex> hold(zonesLock());
    return *localLocked();
}

const RWZone& RWZone::standard() {
    std::lock_guard<std::mutex> hold(zonesLock());
    if (!g_standard) g_standard = new RWZoneInfo(RWZoneInfo::fromRuntime());
    return *g_standard;
}

const RWZone& RWZone::localStandard() {
    std::lock_guard<std::mutex> hold(zonesLock());
    if (!g_localStandard) {
        const RWZone* l = localLocked();
        g_localStandard = new RWZoneInfo(l->timeZoneOffset(), l->timeZoneName());
    }
    return *g_localStandard;
}

const RWZone& RWZone::utc() {
    std::lock_guard<std::mutex> hold(zonesLock());
    if (!g_utc) g_utc = new RWZoneInfo(0, 0);
    return *g_utc;
}

const RWZone* RWZone::local(const RWZone* zone) {
    std::lock_guard<std::mutex> hold(zonesLock());
    const RWZone* previous = g_local;
    g_local = zone;
    return previous;
}

const RWZone* RWZone::standard(const RWZone* zone) {
    std::lock_guard<std::mutex> hold(zonesLock());
    const RWZone* previous = g_standard;
    g_standard = zone;
    return previous;
}

const RWZone* RWZone::localStandard(const RWZone* zone) {
    std::lock_guard<std::mutex> hold(zonesLock());
    const RWZone* previous = g_localStandard;
    g_localStandard = zone;
    return previous;
}

void RWZone::releaseUtc() {
    std::lock_guard<std::mutex> hold(zonesLock());
    delete g_utc;
    g_utc = nullptr;
}
