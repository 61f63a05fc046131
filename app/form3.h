// SPDX-License-Identifier: MIT
// TForm3: the results report, a modal dialog with one list view row per
// target hive (present size, rebuilt size, ratio). Filled by the main
// window's meBatDblClick each time it is opened.
#pragma once

#include <cstdint>
#include <string>

#include "ui/form.h"

namespace sabrel::app {

class TForm3 : public ui::Form {
  public:
    TForm3();
    void btOKClick();
};

// The user's thousands separator (the locale's LOCALE_STHOUSAND), "," when
// the platform cannot tell.
std::string ThousandSeparator();
// "0,": a whole number with `separator` between groups of three digits.
std::string FormatThousands(std::int64_t value, const std::string& separator);
// "0.00": two decimals, rounded, no thousands separator.
std::string FormatRatio(long double value);

}  // namespace sabrel::app
