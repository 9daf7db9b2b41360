// Symbol visibility of the core library. The library is built with hidden
// visibility; only what is marked here is exported.
#pragma once

#define ZEL_EXPORT __attribute__((visibility("default")))
