// The core as programs see it: libJexFSCore.so loaded from the build's
// output folder through the binding helper, once per test process.
#pragma once

#include "jexfscore/ZelBinding.h"

#include <string>
#include <vector>

const CZelCoreBinding& BoundCore();

// Messages the core sent to the message hook since the last Clear.
struct CapturedMessage {
    std::wstring text;
    std::wstring caption;
};
std::vector<CapturedMessage>& CapturedMessages();
// Installs the capturing handler (and empties the capture).
void CaptureMessages();
