// SPDX-License-Identifier: MIT
#include "app/form3.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/form_decls.h"
#include "platform/platform.h"

namespace sabrel::app {

TForm3::TForm3() : ui::Form(Form3Decl()) {
    Bind("btOK", ui::Event::Click, [this] { btOKClick(); });
}

void TForm3::btOKClick() {
    Hide();
}

std::string ThousandSeparator() {
    // Windows allows up to three characters; room for double-byte ones too.
    char buffer[16] = {};
    int n = platform::Get().GetLocaleInfoA(platform::kLocaleUserDefault, platform::kLocaleSThousand,
                                           buffer, static_cast<int>(sizeof buffer));
    return n > 0 ? std::string(buffer) : std::string(",");
}

std::string FormatThousands(std::int64_t value, const std::string& separator) {
    bool negative = value < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

std::string FormatRatio(long double value) {
    // "0.00" rounds half away from zero on the decimal value. The ratio comes
    // out of a division, so a decimal tie such as 75.125 may be held as
    // 75.12499...; writing it with 15 significant digits first restores the
    // tie, and the rounding is then done on the decimal digits. Only double is
    // handed to printf: the Windows runtime has no long double conversion.
    double v = static_cast<double>(value);
    const bool negative = v < 0;
    if (negative) v = -v;
    const int intDigits = v >= 1 ? static_cast<int>(std::floor(std::log10(v))) + 1 : 1;
    const int decimals = std::max(3, 15 - intDigits);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    const std::string text = buffer;
    const std::size_t dot = text.find('.');
    std::string digits = text.substr(0, dot) + text.substr(dot + 1, 2);
    if (text[dot + 3] >= '5') {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
        } else {
            ++digits[i - 1];
        }
    }
    std::string out = digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2);
    if (negative && out.find_first_not_of("0.") != std::string::npos) out.insert(0, "-");
    return out;
}

}  // namespace sabrel::app
