#pragma once

// What the module library shares with the shell and with other modules: its
// entries and its module variables keep default visibility, whatever the
// build's default.
#define PKG_ZEL08100_EXPORT __attribute__((visibility("default")))
