#pragma once
// Time zones with daylight-saving rules chosen by year; works on the C library's calendar record.

#include <ctime>
#include "foundation/cstring.h"

// A daylight-saving rule; rules chain from the newest to the oldest by first year.
struct RWDstRule {
    struct Point {
        int month;    // 0 January .. 11 December
        int week;     // 0..3 first to fourth occurrence, 4 the last, negative: weekday is a fixed day of month
        int weekday;  // 0 Sunday .. 6 Saturday (or the day of month when week < 0)
        int minute;   // minute of the local day
    };
    const RWDstRule* next;  // the rule for the years before firstYear
    short firstYear;
    bool observed;
    Point begin;
    Point end;

    // 0 none, 1 the United States history, 2 the European rule; null for any other number.
    static const RWDstRule* ruleSet(int number);
    // The first rule of the chain holding for the record's year, or null.
    static const RWDstRule* lookup(const RWDstRule* chain, const struct tm* t);
};

class RWZone {
public:
    virtual ~RWZone() = default;
    virtual long timeZoneOffset() const = 0;  // seconds west of Greenwich, standard time
    virtual long altZoneOffset() const = 0;   // seconds west of Greenwich, daylight time
    virtual bool daylightObserved() const = 0;
    virtual RWCString timeZoneName() const = 0;
    virtual RWCString altZoneName() const = 0;
    virtual bool isDaylight(const struct tm* t) const = 0;
    // Only tm_year is read; the record becomes the start (end) of daylight saving in that year,
    // or every field 0x80000000 when the year has none.
    virtual void getBeginDaylight(struct tm* t) const = 0;
    virtual void getEndDaylight(struct tm* t) const = 0;

    // Process-wide zones, created on first use; each setter returns the previous zone.
    static const RWZone& local();
    static const RWZone& standard();
    static const RWZone& localStandard();
    static const RWZone& utc();
    static const RWZone* local(const RWZone* zone);
    static const RWZone* standard(const RWZone* zone);
    static const RWZone* localStandard(const RWZone* zone);
    static void releaseUtc();
};

class RWZoneInfo : public RWZone {
public:
    // Zone number: hours west of Greenwich, -12..11.
    RWZoneInfo(int zoneNumber, int ruleSet);
    RWZoneInfo(int zoneNumber, const RWDstRule* chain);
    RWZoneInfo(long offsetSeconds, const RWCString& name);
    RWZoneInfo(const RWDstRule* chain, long stdOffset, const RWCString& stdName, long dstOffset,
               const RWCString& dstName);
    // From the C library's zone settings (tzset).
    static RWZoneInfo fromRuntime();

    long timeZoneOffset() const override { return stdOffset_; }
    long altZoneOffset() const override { return dstOffset_; }
    bool daylightObserved() const override { return observed_ != 0; }
    RWCString timeZoneName() const override { return stdName_; }
    RWCString altZoneName() const override { return dstName_; }
    bool isDaylight(const struct tm* t) const override;
    void getBeginDaylight(struct tm* t) const override;
    void getEndDaylight(struct tm* t) const override;

private:
    void fromZoneNumber(int zoneNumber, const RWDstRule* chain);
    void placePoint(struct tm* t, bool begin) const;

    const RWDstRule* rules_ = nullptr;
    int observed_ = 0;
    long stdOffset_ = 0;
    RWCString stdName_;
    long dstOffset_ = 0;
    RWCString dstName_;
};
