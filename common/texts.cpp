// SPDX-License-Identifier: MIT
#include "common/texts.h"

#include <cstdlib>
#include <cstring>

namespace sabrel::texts {

namespace {

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

}  // namespace

Language LanguageForLocale(const char* sabrelLang, const char* lcAll, const char* lcMessages,
                           const char* lang) {
    if (IsSet(sabrelLang)) {
        if (!std::strcmp(sabrelLang, "ja")) return Language::Japanese;
        if (!std::strcmp(sabrelLang, "en")) return Language::English;
    }
    // POSIX order: LC_ALL overrides LC_MESSAGES, which overrides LANG.
    const char* locale = IsSet(lcAll) ? lcAll : IsSet(lcMessages) ? lcMessages : lang;
    if (IsSet(locale) && !std::strncmp(locale, "ja", 2)) return Language::Japanese;
    return Language::English;
}

Language LanguageFromEnvironment() {
    return LanguageForLocale(std::getenv("SABREL_LANG"), std::getenv("LC_ALL"),
                             std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace sabrel::texts
