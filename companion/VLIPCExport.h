#pragma once

// The library builds with hidden visibility; only what the loader (and its
// tests) look up by name is exported.
#define VLIPC_EXPORT __attribute__((visibility("default")))
