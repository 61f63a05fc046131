#include "app/form3.h"

#include <cstdio>

#include "app/form_decls.h"

namespace sabrel::app {

TForm3::TForm3() : ui::Form(Form3Decl()) {
    Bind("btOK", ui::Event::Click, [this] { btOKClick(); });
}

void TForm3::btOKClick() {
    Hide();
}

std::string FormatThousands(std::int64_t value) {
    bool negative = value < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

std::string FormatRatio(long double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2Lf", value);
    return buffer;
}

}  // namespace sabrel::app
