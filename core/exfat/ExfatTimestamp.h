// exFAT timestamps: a date and time to two seconds, a count of 10 ms to add
// and, where marked valid, the offset from UTC the time was taken in.
#pragma once

#include <cstdint>
#include <ctime>

// The moment a timestamp names. A time without a valid offset is taken as
// this machine's local time, as cameras and most systems write it. False for
// a timestamp whose fields name no time (month 0, hour 25, ...).
bool ZelExfatTime(uint32_t timestamp, uint8_t tenMs, uint8_t utcOffset, timespec& out);
