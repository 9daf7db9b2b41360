// Symbol visibility of the project's libraries. They are built with hidden
// visibility; only what is marked here is exported.
#pragma once

#define ZEL_EXPORT __attribute__((visibility("default")))
