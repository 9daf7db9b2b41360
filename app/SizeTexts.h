// Sizes as the window shows them: whole units, a decimal comma and the
// hundredths of the unit, truncated ("0,50 GB (512,00 MB)").
#pragma once

#include <QString>

#include <cstdint>

// "G,gg GB (M,mm MB)".
QString ZelVolumeSizeText(uint64_t bytes);
// "M,mm MB (K,kk KB)".
QString ZelFileSizeText(uint64_t bytes);
// One unit, the largest that keeps the amount at 1 or more, of MB and GB:
// "512,00 MB", "3,75 GB".
QString ZelShortSizeText(uint64_t bytes);
