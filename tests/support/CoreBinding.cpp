#include "support/CoreBinding.h"

#include <gtest/gtest.h>

namespace {

void Capture(const wchar_t* text, const wchar_t* caption)
{
    CapturedMessages().push_back({text != nullptr ? text : L"", caption != nullptr ? caption : L""});
}

} // namespace

const CZelCoreBinding& BoundCore()
{
    static CZelCoreBinding core;
    static bool loaded = [] {
        std::string error;
        bool ok = core.LoadFrom(JEX_BIN_DIR, error);
        if (!ok)
            ADD_FAILURE() << error;
        return ok;
    }();
    (void)loaded;
    return core;
}

std::vector<CapturedMessage>& CapturedMessages()
{
    static std::vector<CapturedMessage> messages;
    return messages;
}

void CaptureMessages()
{
    CapturedMessages().clear();
    BoundCore().SetMessageHandler(&Capture);
}

