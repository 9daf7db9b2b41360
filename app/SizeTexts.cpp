#include "SizeTexts.h"

namespace {

// Whole units of unit bytes, a comma and the hundredths, without rounding
// up. The hundredths come from the remainder, so no product can overflow.
QString Amount(uint64_t bytes, uint64_t unit)
{
    uint64_t whole = bytes / unit;
    uint64_t rest = bytes % unit;
    // rest < unit <= 2^30, so rest * 100 stays far inside 64 bits.
    uint64_t hundredths = rest * 100 / unit;
    return QString::number(whole) + QLatin1Char(',') + QStringLiteral("%1").arg(hundredths, 2, 10, QLatin1Char('0'));
}

constexpr uint64_t KB = 1024;
constexpr uint64_t MB = 1048576;
constexpr uint64_t GB = 1073741824;

} // namespace

QString ZelVolumeSizeText(uint64_t bytes)
{
    return Amount(bytes, GB) + QStringLiteral(" GB (") + Amount(bytes, MB) + QStringLiteral(" MB)");
}

QString ZelShortSizeText(uint64_t bytes)
{
    return bytes >= GB ? Amount(bytes, GB) + QStringLiteral(" GB") : Amount(bytes, MB) + QStringLiteral(" MB");
}

QString ZelFileSizeText(uint64_t bytes)
{
    return Amount(bytes, MB) + QStringLiteral(" MB (") + Amount(bytes, KB) + QStringLiteral(" KB)");
}
