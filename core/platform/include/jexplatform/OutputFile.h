// Restored files: created new (an existing file is never replaced) and
// written in full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

// Creates path for writing; -1 (errno set) when it exists or cannot be made.
int ZelCreateNewFile(const char* path, mode_t mode);
// Writes every byte, continuing partial and interrupted writes; false on
// failure (a full disk among others).
bool ZelWriteAll(int fd, const void* data, size_t length);
// Moves on count bytes, leaving a gap that reads as zeros; the file gets its
// length from a write or a truncation after it.
bool ZelSkipZeros(int fd, uint64_t count);
