// The core's diagnostic log: one line per message, in the file named by
// $JEXFSCORE_LOG, else ${XDG_STATE_HOME:-$HOME/.local/state}/jexfilerecovery/
// jexfilerecovery.log. It is opened (created or truncated) when the library
// loads; when it cannot be opened nothing is written.
#pragma once

#include <string>

// Writes text and a newline.
void ZelLogLine(const std::string& text);
// printf-style; a trailing newline in the format is not doubled.
void ZelLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
