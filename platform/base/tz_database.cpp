// Reading zone rules: the TZif format (RFC 8536) and POSIX TZ strings.
#include "tz_database.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "calendar.h"

namespace lumivel {
namespace {

class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) {}
    bool done() const { return m_at >= m_text.size(); }
    char peek() const { return done() ? '\0' : m_text[m_at]; }
    void skip() { ++m_at; }
    bool take(char c) {
        if (peek() != c) return false;
        ++m_at;
        return true;
    }
    std::optional<int> number(int maximum) {
        if (!std::isdigit(static_cast<unsigned char>(peek()))) return std::nullopt;
        int v = 0;
        while (std::isdigit(static_cast<unsigned char>(peek()))) {
            v = v * 10 + (peek() - '0');
            if (v > maximum) return std::nullopt;
            skip();
        }
        return v;
    }
    std::string_view rest() const { return m_text.substr(m_at); }
    size_t position() const { return m_at; }
    std::string_view slice(size_t from) const { return m_text.substr(from, m_at - from); }

private:
    std::string_view m_text;
    size_t m_at = 0;
};

std::optional<std::string> ParseName(Cursor& c) {
    size_t from = c.position();
    if (c.take('<')) {
        while (!c.done() && c.peek() != '>') c.skip();
        std::string name(c.slice(from + 1));
        if (!c.take('>') || name.size() < 3) return std::nullopt;
        return name;
    }
    while (std::isalpha(static_cast<unsigned char>(c.peek()))) c.skip();
    std::string name(c.slice(from));
    if (name.size() < 3) return std::nullopt;
    return name;
}

// [+-]hh[:mm[:ss]] -> seconds; maxHours 24 for offsets, 167 for transition times.
std::optional<int32_t> ParseTime(Cursor& c, int maxHours) {
    int sign = 1;
    if (c.take('-')) sign = -1;
    else c.take('+');
    auto hours = c.number(maxHours);
    if (!hours) return std::nullopt;
    int32_t seconds = *hours * 3600;
    if (c.take(':')) {
        auto minutes = c.number(59);
        if (!minutes) return std::nullopt;
        seconds += *minutes * 60;
        if (c.take(':')) {
            auto secs = c.number(59);
            if (!secs) return std::nullopt;
            seconds += *secs;
        }
    }
    return sign * seconds;
}

std::optional<PosixTransition> ParseTransition(Cursor& c) {
    PosixTransition t;
    if (c.take('M')) {
        auto month = c.number(12);
        if (!month || *month < 1 || !c.take('.')) return std::nullopt;
        auto week = c.number(5);
        if (!week || *week < 1 || !c.take('.')) return std::nullopt;
        auto weekday = c.number(6);
        if (!weekday) return std::nullopt;
        t.kind = PosixTransition::Kind::MonthWeekDay;
        t.month = *month, t.week = *week, t.weekday = *weekday;
    } else if (c.take('J')) {
        auto day = c.number(365);
        if (!day || *day < 1) return std::nullopt;
        t.kind = PosixTransition::Kind::JulianNoLeap;
        t.day = *day;
    } else {
        auto day = c.number(365);
        if (!day) return std::nullopt;
        t.kind = PosixTransition::Kind::ZeroBasedDay;
        t.day = *day;
    }
    if (c.take('/')) {
        auto time = ParseTime(c, 167);
        if (!time) return std::nullopt;
        t.seconds = *time;
    }
    return t;
}

// Local midnight (as seconds since 1970 of that local date) of a transition's day.
int64_t TransitionDay(const PosixTransition& t, int64_t year) {
    switch (t.kind) {
        case PosixTransition::Kind::MonthWeekDay:
            return DaysFromCivil(year, t.month, NthWeekdayOfMonth(year, t.month, t.week, t.weekday));
        case PosixTransition::Kind::JulianNoLeap: {
            int64_t days = DaysFromCivil(year, 1, 1) + t.day - 1;
            if (IsLeapYear(year) && t.day >= 60) ++days;
            return days;
        }
        case PosixTransition::Kind::ZeroBasedDay:
            return DaysFromCivil(year, 1, 1) + t.day;
    }
    return 0;
}

template <class T>
bool ReadBig(std::string_view data, size_t at, T* value) {
    if (at + sizeof(T) > data.size()) return false;
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v = (v << 8) | static_cast<unsigned char>(data[at + i]);
    *value = static_cast<T>(v);
    return true;
}

struct Counts {
    uint32_t isut, isstd, leap, time, type, chars;
};

bool ReadCounts(std::string_view data, size_t at, Counts* counts) {
    if (at + 44 > data.size() || data.substr(at, 4) != "TZif") return false;
    uint32_t v[6];
    for (int i = 0; i < 6; ++i)
        if (!ReadBig(data, at + 20 + 4 * i, &v[i])) return false;
    *counts = {v[0], v[1], v[2], v[3], v[4], v[5]};
    // Bounds that no real zone comes near; they keep the size sums below from overflowing.
    return counts->time <= 100000 && counts->type >= 1 && counts->type <= 256 && counts->chars <= 65536 &&
           counts->leap <= 10000 && counts->isut <= 256 && counts->isstd <= 256;
}

size_t BlockSize(const Counts& c, size_t timeSize) {
    return c.time * timeSize + c.time + c.type * 6 + c.chars + c.leap * (timeSize + 4) + c.isstd + c.isut;
}

}  // namespace

std::optional<PosixRule> ParsePosixRule(std::string_view text) {
    Cursor c(text);
    PosixRule rule;
    auto name = ParseName(c);
    if (!name) return std::nullopt;
    rule.standardName = *name;
    auto offset = ParseTime(c, 24);
    if (!offset) return std::nullopt;
    rule.standardOffset = -*offset;  // POSIX counts west of UTC as positive
    if (c.done()) return rule;
    auto daylight = ParseName(c);
    if (!daylight) return std::nullopt;
    rule.hasDaylight = true;
    rule.daylightName = *daylight;
    rule.daylightOffset = rule.standardOffset + 3600;
    if (c.peek() != ',' && !c.done()) {
        auto dst = ParseTime(c, 24);
        if (!dst) return std::nullopt;
        rule.daylightOffset = -*dst;
    }
    if (c.done()) {
        // No rule given: the United States rule, as the C library assumes.
        rule.start = {PosixTransition::Kind::MonthWeekDay, 3, 2, 0, 0, 7200};
        rule.end = {PosixTransition::Kind::MonthWeekDay, 11, 1, 0, 0, 7200};
        return rule;
    }
    if (!c.take(',')) return std::nullopt;
    auto start = ParseTransition(c);
    if (!start || !c.take(',')) return std::nullopt;
    auto end = ParseTransition(c);
    if (!end || !c.done()) return std::nullopt;
    rule.start = *start;
    rule.end = *end;
    return rule;
}

YearTransitions TransitionsOfYear(const PosixRule& rule, int64_t year) {
    int64_t start = TransitionDay(rule.start, year) * kSecondsPerDay + rule.start.seconds - rule.standardOffset;
    int64_t end = TransitionDay(rule.end, year) * kSecondsPerDay + rule.end.seconds - rule.daylightOffset;
    return {start, end};
}

LocalTimeType Zone::typeAt(int64_t utcSeconds) const {
    if (transitions.empty() || utcSeconds >= transitions.back()) {
        if (rule) {
            if (!rule->hasDaylight) return {rule->standardOffset, false, rule->standardName};
            int64_t year = CivilFromDays((utcSeconds + rule->standardOffset) / kSecondsPerDay -
                                         ((utcSeconds + rule->standardOffset) % kSecondsPerDay < 0))
                               .year;
            YearTransitions t = TransitionsOfYear(*rule, year);
            bool daylight = t.start < t.end ? (utcSeconds >= t.start && utcSeconds < t.end)
                                            : (utcSeconds >= t.start || utcSeconds < t.end);
            return daylight ? LocalTimeType{rule->daylightOffset, true, rule->daylightName}
                            : LocalTimeType{rule->standardOffset, false, rule->standardName};
        }
        if (transitions.empty()) return types.empty() ? LocalTimeType{} : types.front();
        return types[transitionTypes.back()];
    }
    if (utcSeconds < transitions.front()) {
        // Before the first transition: the first standard-time type (RFC 8536 says type 0).
        return types.front();
    }
    size_t index = static_cast<size_t>(std::upper_bound(transitions.begin(), transitions.end(), utcSeconds) -
                                       transitions.begin()) - 1;
    return types[transitionTypes[index]];
}

std::optional<Zone> ParseTzif(std::string_view data) {
    Counts counts;
    if (!ReadCounts(data, 0, &counts)) return std::nullopt;
    char version = data[4];
    size_t at = 44;
    size_t timeSize = 4;
    if (version >= '2') {
        at += BlockSize(counts, 4);
        if (!ReadCounts(data, at, &counts)) return std::nullopt;
        at += 44;
        timeSize = 8;
    }
    if (at + BlockSize(counts, timeSize) > data.size()) return std::nullopt;
    Zone zone;
    zone.transitions.resize(counts.time);
    for (uint32_t i = 0; i < counts.time; ++i) {
        if (timeSize == 8) {
            int64_t t = 0;
            ReadBig(data, at + 8 * i, &t);
            zone.transitions[i] = t;
        } else {
            int32_t t = 0;
            ReadBig(data, at + 4 * i, &t);
            zone.transitions[i] = t;
        }
        if (i > 0 && zone.transitions[i] <= zone.transitions[i - 1]) return std::nullopt;
    }
    at += counts.time * timeSize;
    zone.transitionTypes.assign(data.begin() + static_cast<ptrdiff_t>(at),
                                data.begin() + static_cast<ptrdiff_t>(at + counts.time));
    at += counts.time;
    for (uint8_t type : zone.transitionTypes)
        if (type >= counts.type) return std::nullopt;
    size_t typesAt = at;
    size_t charsAt = typesAt + counts.type * 6;
    std::string_view chars = data.substr(charsAt, counts.chars);
    for (uint32_t i = 0; i < counts.type; ++i) {
        LocalTimeType type;
        ReadBig(data, typesAt + 6 * i, &type.offset);
        if (type.offset <= -25 * 3600 || type.offset >= 26 * 3600) return std::nullopt;
        type.daylight = data[typesAt + 6 * i + 4] != 0;
        auto index = static_cast<unsigned char>(data[typesAt + 6 * i + 5]);
        if (index >= chars.size()) return std::nullopt;
        auto name = chars.substr(index);
        type.name = std::string(name.substr(0, name.find('\0')));
        zone.types.push_back(type);
    }
    at = charsAt + BlockSize(counts, timeSize) - (counts.time * timeSize + counts.time + counts.type * 6);
    if (version >= '2' && at < data.size() && data[at] == '\n') {
        size_t close = data.find('\n', at + 1);
        if (close != std::string_view::npos && close > at + 1) zone.rule = ParsePosixRule(data.substr(at + 1, close - at - 1));
    }
    return zone;
}

Zone ZoneFromRule(const PosixRule& rule) {
    Zone zone;
    zone.types.push_back({rule.standardOffset, false, rule.standardName});
    zone.rule = rule;
    return zone;
}

}  // namespace lumivel
