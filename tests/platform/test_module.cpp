// SPDX-License-Identifier: MIT
// Exports one entry point, as the archiver library exports its own.
extern "C" __attribute__((visibility("default"))) int UnlhaGetVersion() {
    return 123;
}
