#include "exfat/ExfatTimestamp.h"

bool ZelExfatTime(uint32_t timestamp, uint8_t tenMs, uint8_t utcOffset, timespec& out)
{
    const uint32_t doubleSeconds = timestamp & 0x1F;
    const uint32_t minute = (timestamp >> 5) & 0x3F;
    const uint32_t hour = (timestamp >> 11) & 0x1F;
    const uint32_t day = (timestamp >> 16) & 0x1F;
    const uint32_t month = (timestamp >> 21) & 0x0F;
    const uint32_t year = 1980 + (timestamp >> 25);
    if (doubleSeconds > 29 || minute > 59 || hour > 23 || day == 0 || month == 0 || month > 12 || tenMs > 199)
        return false;
    static const uint32_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap))
        return false;
    struct tm fields = {};
    fields.tm_year = static_cast<int>(year) - 1900;
    fields.tm_mon = static_cast<int>(month) - 1;
    fields.tm_mday = static_cast<int>(day);
    fields.tm_hour = static_cast<int>(hour);
    fields.tm_min = static_cast<int>(minute);
    fields.tm_sec = static_cast<int>(doubleSeconds * 2 + tenMs / 100);
    time_t seconds;
    if ((utcOffset & 0x80) != 0) {
        // Seven bits, signed, in quarter hours east of UTC.
        int quarters = utcOffset & 0x7F;
        if (quarters >= 64)
            quarters -= 128;
        seconds = timegm(&fields) - static_cast<time_t>(quarters) * 15 * 60;
    } else {
        fields.tm_isdst = -1;
        seconds = mktime(&fields);
    }
    if (seconds == static_cast<time_t>(-1))
        return false;
    out.tv_sec = seconds;
    out.tv_nsec = static_cast<long>(tenMs % 100) * 10000000L;
    return true;
}
