// The core's messages to the user. By default a message is one line,
// caption and text, on standard error; a program installs its own handler
// through the export JexSetMessageHandler.
#pragma once

#include <string>

// Caption of the message shown when a volume cannot be opened or scanned.
constexpr const wchar_t* kZelTroubleCaption = L"Trouble";

void ZelShowMessage(const std::wstring& text, const std::wstring& caption);
