// Calendar arithmetic of automation dates (proleptic Gregorian calendar).
#include "platform/OleDate.h"

#include <cmath>
#include <cstdio>

namespace korvane::platform {
namespace {

// Days from 1970-01-01 to the civil date (any year), after H. Hinnant's
// well-known algorithm.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int* year, int* month, int* day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(y + (m <= 2));
    *month = static_cast<int>(m);
    *day = static_cast<int>(d);
}

// 1899-12-30 is day 0 of automation dates; it lies 25569 days before 1970-01-01.
constexpr int64_t kEpochOffset = 25569;

int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// A cursor over ASCII text that skips nothing on its own.
struct Cursor {
    const char16_t* p;
    const char16_t* end;
    bool atEnd() const { return p == end; }
    char16_t peek() const { return p == end ? u'\0' : *p; }
    void skipBlanks() {
        while (p != end && (*p == u' ' || *p == u'\t'))
            ++p;
    }
    // Reads 1..maxDigits decimal digits; -1 when there is none.
    int number(int maxDigits, int* digits = nullptr) {
        int value = 0, n = 0;
        while (p != end && *p >= u'0' && *p <= u'9' && n < maxDigits) {
            value = value * 10 + (*p - u'0');
            ++p;
            ++n;
        }
        if (digits)
            *digits = n;
        return n == 0 ? -1 : value;
    }
    bool eat(char16_t c) {
        if (p != end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
};

// Reads "h:mm[:ss][ AM|PM]" into the parts' time fields.
bool parseTime(Cursor& c, OleDateParts* parts) {
    int h = c.number(2);
    if (h < 0 || !c.eat(u':'))
        return false;
    int mi = c.number(2);
    if (mi < 0)
        return false;
    int s = 0;
    if (c.eat(u':')) {
        s = c.number(2);
        if (s < 0)
            return false;
    }
    c.skipBlanks();
    char16_t a = c.peek();
    if (a == u'A' || a == u'a' || a == u'P' || a == u'p') {
        ++c.p;
        if (!(c.eat(u'M') || c.eat(u'm')))
            return false;
        if (h < 1 || h > 12)
            return false;
        bool pm = a == u'P' || a == u'p';
        h = h % 12 + (pm ? 12 : 0);
    }
    if (h > 23 || mi > 59 || s > 59)
        return false;
    parts->hour = h;
    parts->minute = mi;
    parts->second = s;
    return true;
}

} // namespace

bool OleDateFromParts(const OleDateParts& p, DATE* date) {
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > daysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
        p.minute > 59 || p.second < 0 || p.second > 59)
        return false;
    int64_t days = daysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) +
                   kEpochOffset;
    double frac = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
    // Before day 0 the fraction still runs forwards from the day's start.
    *date = days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
    return true;
}

bool OleDateToParts(DATE date, OleDateParts* parts) {
    if (!(date >= kOleDateMin && date < kOleDateEnd))
        return false;
    double whole = std::trunc(date);
    double frac = std::fabs(date - whole);
    int64_t days = static_cast<int64_t>(whole);
    int64_t seconds = std::llround(frac * 86400.0);
    if (seconds >= 86400) {
        // Rounding reached midnight: that is the start of the next calendar
        // day, whatever the sign (the fraction always runs forwards).
        seconds -= 86400;
        days += 1;
    }
    civilFromDays(days - kEpochOffset, &parts->year, &parts->month, &parts->day);
    if (parts->year > 9999)
        return false;
    parts->hour = static_cast<int>(seconds / 3600);
    parts->minute = static_cast<int>(seconds / 60 % 60);
    parts->second = static_cast<int>(seconds % 60);
    return true;
}

bool OleDateFormat(DATE date, std::u16string* text) {
    OleDateParts p;
    if (!OleDateToParts(date, &p))
        return false;
    char buf[64];
    std::string out;
    bool dayZero = p.year == 1899 && p.month == 12 && p.day == 30;
    bool hasTime = p.hour != 0 || p.minute != 0 || p.second != 0;
    if (!dayZero) {
        std::snprintf(buf, sizeof buf, "%d/%d/%d", p.month, p.day, p.year);
        out = buf;
    }
    if (hasTime || dayZero) {
        int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
        std::snprintf(buf, sizeof buf, "%s%d:%02d:%02d %s", out.empty() ? "" : " ", h12, p.minute,
                      p.second, p.hour < 12 ? "AM" : "PM");
        out += buf;
    }
    text->assign(out.begin(), out.end());
    return true;
}

bool OleDateParse(const char16_t* text, size_t length, DATE* date) {
    if (!text)
        return false;
    Cursor c{text, text + length};
    c.skipBlanks();
    OleDateParts parts;
    // A leading number followed by ':' is a time of day alone.
    Cursor probe = c;
    probe.number(4);
    if (probe.peek() == u':') {
        if (!parseTime(c, &parts))
            return false;
    } else {
        int digits = 0;
        int first = c.number(4, &digits);
        if (first < 0)
            return false;
        if (c.peek() == u'-') {
            // ISO 8601: YYYY-MM-DD.
            if (digits != 4)
                return false;
            c.eat(u'-');
            int m = c.number(2);
            if (m < 0 || !c.eat(u'-'))
                return false;
            int d = c.number(2);
            if (d < 0)
                return false;
            parts.year = first;
            parts.month = m;
            parts.day = d;
            if (c.eat(u'T') && (c.atEnd() || c.peek() == u' '))
                return false;  // 'T' promises a time of day
        } else if (c.eat(u'/')) {
            // English (United States): M/D/YYYY.
            int d = c.number(2);
            if (d < 0 || !c.eat(u'/'))
                return false;
            int ydigits = 0;
            int y = c.number(4, &ydigits);
            if (y < 0 || ydigits == 3)
                return false;
            if (ydigits <= 2)
                y += y < 30 ? 2000 : 1900;
            parts.year = y;
            parts.month = first;
            parts.day = d;
        } else {
            return false;
        }
        c.skipBlanks();
        if (!c.atEnd() && !parseTime(c, &parts))
            return false;
    }
    c.skipBlanks();
    if (!c.atEnd())
        return false;
    return OleDateFromParts(parts, date);
}

} // namespace korvane::platform
