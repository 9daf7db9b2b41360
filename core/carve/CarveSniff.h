// The kind of a file told from its first bytes alone, for a file whose name
// is lost: the signature search's formats, and what their decoders tell of
// the content from those bytes (a ZIP that is a DOCX).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The extension, without its dot, for a file that begins with these bytes;
// empty when no format's signature is there.
std::string ZelSniffExtension(const uint8_t* bytes, size_t size);
