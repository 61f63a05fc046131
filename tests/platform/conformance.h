// SPDX-License-Identifier: MIT
// The conformance suite of the platform interface: what every implementation
// must do the way Windows 9x does it. A world supplies the implementation and
// an empty scratch folder; the suite talks to the platform alone.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace sabrel::platform::testing {

class ConformanceWorld {
  public:
    virtual ~ConformanceWorld() = default;
    virtual Platform& platform() = 0;
    // An empty folder, as a DOS path without a trailing separator.
    virtual std::string scratch() = 0;
    // Whether 8.3 names and aliases that it makes may hold a double-byte
    // character whose trail byte is 0x5C, as Windows 95 makes them. Our FAT
    // engine never makes such aliases, so that tools that are not DBCS-aware
    // (fsck.fat) do not take the byte for a separator.
    virtual bool aliasesKeepTrail5C() { return true; }
};

// Defined by each implementation's test program.
std::unique_ptr<ConformanceWorld> MakeConformanceWorld();

}  // namespace sabrel::platform::testing
