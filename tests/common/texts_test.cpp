// SPDX-License-Identifier: MIT
// The texts table in both languages, and how a program picks its language.
#include "common/texts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace sabrel::texts {
namespace {

struct Entry {
    const char* name;
    const Text* text;
};

#define SABREL_ENTRY(name) \
    { #name, &name }
const Entry kEntries[] = {
    SABREL_ENTRY(kOptionsCaption),
    SABREL_ENTRY(kAppErrorCaption),
    SABREL_ENTRY(kConfirmCaption),
    SABREL_ENTRY(kWarningCaption),
    SABREL_ENTRY(kButtonYes),
    SABREL_ENTRY(kButtonNo),
    SABREL_ENTRY(kMsgVersionUnknown),
    SABREL_ENTRY(kMsgNotWin9x),
    SABREL_ENTRY(kMsgWinDirFailed),
    SABREL_ENTRY(kMsgNoInstallation),
    SABREL_ENTRY(kMsgNotAnInstallation),
    SABREL_ENTRY(kMsgPathMissing),
    SABREL_ENTRY(kMsgImageUnsupported),
    SABREL_ENTRY(kChooserCaption),
    SABREL_ENTRY(kChooserRecent),
    SABREL_ENTRY(kChooserPath),
    SABREL_ENTRY(kChooserOpen),
    SABREL_ENTRY(kChooserFolder),
    SABREL_ENTRY(kChooserImage),
    SABREL_ENTRY(kChooserCancel),
    SABREL_ENTRY(kChooserImageFilter),
    SABREL_ENTRY(kLabel5),
    SABREL_ENTRY(kLabel2),
    SABREL_ENTRY(kLabel3),
    SABREL_ENTRY(kLabel6Reboot),
    SABREL_ENTRY(kLabel6Shutdown),
    SABREL_ENTRY(kLabel6SabrelOnly),
    SABREL_ENTRY(kLabel4),
    SABREL_ENTRY(kBtOption),
    SABREL_ENTRY(kBtCancel),
    SABREL_ENTRY(kBtDbg),
    SABREL_ENTRY(kLbDoing),
    SABREL_ENTRY(kLabel1Stopped),
    SABREL_ENTRY(kBtFin1),
    SABREL_ENTRY(kLabel7Done),
    SABREL_ENTRY(kBtRebootReboot),
    SABREL_ENTRY(kBtRebootShutdown),
    SABREL_ENTRY(kBtRebootSabrelOnly),
    SABREL_ENTRY(kBtAbort),
    SABREL_ENTRY(kAskBackupOnly),
    SABREL_ENTRY(kMsgBackupDone),
    SABREL_ENTRY(kMsgCannotReboot),
    SABREL_ENTRY(kMsgCannotShutdown),
    SABREL_ENTRY(kResultHeading),
    SABREL_ENTRY(kColPath),
    SABREL_ENTRY(kColBefore),
    SABREL_ENTRY(kColAfter),
    SABREL_ENTRY(kColRatio),
    SABREL_ENTRY(kMsgZeroDivide),
    SABREL_ENTRY(kMsgCannotStartRun),
    SABREL_ENTRY(kMsgKeyExists),
    SABREL_ENTRY(kMsgGhostBefore),
    SABREL_ENTRY(kMsgCannotDelete),
    SABREL_ENTRY(kMsgNoShortPath),
    SABREL_ENTRY(kMsgCannotLoad),
    SABREL_ENTRY(kMsgCannotSave),
    SABREL_ENTRY(kMsgCannotUnload),
    SABREL_ENTRY(kMsgGhostAfter),
    SABREL_ENTRY(kMsgKeysLost),
    SABREL_ENTRY(kMsgCannotWrite),
    SABREL_ENTRY(kMsgIoError),
    SABREL_ENTRY(kMsgOutOfMemory),
    SABREL_ENTRY(kAskDeleteRebuilt),
    SABREL_ENTRY(kOptLabel1),
    SABREL_ENTRY(kOptLabel2),
    SABREL_ENTRY(kTabDousa),
    SABREL_ENTRY(kTabBeforeRebld),
    SABREL_ENTRY(kTabBckUp),
    SABREL_ENTRY(kTabAfterReBld),
    SABREL_ENTRY(kTabTerminate),
    SABREL_ENTRY(kTabReplace),
    SABREL_ENTRY(kRbRebldBckup),
    SABREL_ENTRY(kRbRebldOnly),
    SABREL_ENTRY(kRbBckupOnly),
    SABREL_ENTRY(kCbCheckReg),
    SABREL_ENTRY(kCbBeforeGhost),
    SABREL_ENTRY(kRbBUcopy),
    SABREL_ENTRY(kRbBUarc),
    SABREL_ENTRY(kCbBUarcTest),
    SABREL_ENTRY(kCbCheckReg2),
    SABREL_ENTRY(kCbAfterGhost),
    SABREL_ENTRY(kCbIgnoreLost),
    SABREL_ENTRY(kCbSweepDGAP),
    SABREL_ENTRY(kRbWinReboot),
    SABREL_ENTRY(kRbWinTerm),
    SABREL_ENTRY(kRbSBterm),
    SABREL_ENTRY(kCbDelFCache),
    SABREL_ENTRY(kCbDelICache),
    SABREL_ENTRY(kUnlhaNotFound),
    SABREL_ENTRY(kMsgNothingSelected),
    SABREL_ENTRY(kMsgImageNotFound),
    SABREL_ENTRY(kMsgImageAccess),
    SABREL_ENTRY(kMsgImageLocked),
    SABREL_ENTRY(kMsgImageForeign),
    SABREL_ENTRY(kMsgImageUnsupportedVhd),
    SABREL_ENTRY(kMsgImageNoVolume),
    SABREL_ENTRY(kMsgImageNoSuchPartition),
    SABREL_ENTRY(kMsgImageAmbiguous),
    SABREL_ENTRY(kMsgImageCorrupt),
    SABREL_ENTRY(kMsgImageBadPartition),
    SABREL_ENTRY(kMsgImageNoWindows),
    SABREL_ENTRY(kBatchRestoring),
};
#undef SABREL_ENTRY

// The printf conversions of a format, in order ("s", "d", "3d", "02d"...).
std::vector<std::string> Fills(const std::string& format) {
    std::vector<std::string> fills;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        std::size_t j = i + 1;
        while (j < format.size() &&
               std::string("-+ #0123456789.").find(format[j]) != std::string::npos) {
            ++j;
        }
        if (j < format.size() && std::string("sdiuxXcf%").find(format[j]) != std::string::npos) {
            fills.push_back(format.substr(i + 1, j - i));
            i = j;
        }
    }
    return fills;
}

int LineCount(const std::string& text) {
    int lines = 1;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

// What a careful English text may hold: printable ASCII, and "\r\n" or a tab
// where the Japanese has one.
bool PlainAscii(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (c != '\t' && (c < 0x20 || c > 0x7E)) return false;
    }
    return true;
}

TEST(TextsTable, EveryTextHasBothLanguagesWithTheSameFillsAndLines) {
    for (const Entry& e : kEntries) {
        SCOPED_TRACE(e.name);
        ASSERT_NE(e.text->ja, nullptr);
        ASSERT_NE(e.text->en, nullptr);
        const std::string ja = e.text->ja, en = e.text->en;
        EXPECT_FALSE(en.empty());
        EXPECT_TRUE(PlainAscii(en)) << en;
        EXPECT_EQ(Fills(en), Fills(ja)) << en;
        EXPECT_EQ(LineCount(en), LineCount(ja)) << en;
        EXPECT_EQ(en.find('\n') == std::string::npos || en.find("\r\n") != std::string::npos, true)
            << "a bare line feed: " << en;
    }
    for (const Lines* lines : {&kBatchHeader, &kBatchFooter}) {
        for (int i = 0; i < lines->count; ++i) {
            const std::string ja = lines->ja[i], en = lines->en[i];
            SCOPED_TRACE(en);
            EXPECT_TRUE(PlainAscii(en));
            EXPECT_EQ(en.find_first_of("\r\n%<>|"), std::string::npos)
                << "no batch line may hold it";
            // The commands stay commands; only the words after ECHO change.
            EXPECT_EQ(en.substr(0, 4), ja.substr(0, 4));
        }
    }
}

// Every Text the header declares is in the list above, so the checks reach all of them.
TEST(TextsTable, TheListCoversEveryTextOfTheHeader) {
    std::ifstream header(SABREL_TEXTS_HEADER);
    ASSERT_TRUE(header.is_open());
    std::stringstream source;
    source << header.rdbuf();
    const std::string text = source.str();
    std::set<std::string> declared, listed;
    const std::regex declaration("constexpr Text (k\\w+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), declaration);
         it != std::sregex_iterator(); ++it) {
        declared.insert((*it)[1]);
    }
    for (const Entry& e : kEntries) listed.insert(e.name);
    EXPECT_EQ(declared, listed);
}

TEST(TextsTable, ATextReadsAsTheProgramsLanguage) {
    {
        ScopedLanguage english(Language::English);
        EXPECT_STREQ(kConfirmCaption, "Confirm");
        EXPECT_EQ(std::string(kButtonYes.c_str()), "&Yes");
        {
            ScopedLanguage japanese(Language::Japanese);
            EXPECT_STREQ(kConfirmCaption, "確認");
        }
        EXPECT_STREQ(kConfirmCaption, "Confirm");
    }
    EXPECT_EQ(CurrentLanguage(), Language::Japanese);
}

TEST(ProgramLanguage, FollowsTheCodePageOnWindows) {
    EXPECT_EQ(LanguageForCodePage(932), Language::Japanese);
    for (unsigned cp : {1252u, 437u, 936u, 949u, 0u}) {
        EXPECT_EQ(LanguageForCodePage(cp), Language::English) << cp;
    }
}

TEST(ProgramLanguage, FollowsTheLocaleOnLinuxWithTheOverrideFirst) {
    const Language ja = Language::Japanese, en = Language::English;
    // The first of LC_ALL, LC_MESSAGES and LANG that is set and not empty decides.
    EXPECT_EQ(LanguageForLocale(nullptr, nullptr, nullptr, "ja_JP.UTF-8"), ja);
    EXPECT_EQ(LanguageForLocale(nullptr, nullptr, nullptr, "ja"), ja);
    EXPECT_EQ(LanguageForLocale(nullptr, "C", nullptr, "ja_JP.UTF-8"), en);
    EXPECT_EQ(LanguageForLocale(nullptr, "", "ja_JP.eucJP", "en_US.UTF-8"), ja);
    EXPECT_EQ(LanguageForLocale(nullptr, nullptr, "en_GB", "ja_JP.UTF-8"), en);
    EXPECT_EQ(LanguageForLocale(nullptr, "ja_JP", "en_GB", "C"), ja);
    EXPECT_EQ(LanguageForLocale(nullptr, "", "", ""), en);
    EXPECT_EQ(LanguageForLocale(nullptr, nullptr, nullptr, nullptr), en);
    EXPECT_EQ(LanguageForLocale(nullptr, nullptr, nullptr, "jv_ID"), en);
    // SABREL_LANG overrides both ways; any other value leaves the locale to decide.
    EXPECT_EQ(LanguageForLocale("ja", "C", nullptr, "C"), ja);
    EXPECT_EQ(LanguageForLocale("en", "ja_JP.UTF-8", nullptr, nullptr), en);
    EXPECT_EQ(LanguageForLocale("fr", nullptr, nullptr, "ja_JP.UTF-8"), ja);
    EXPECT_EQ(LanguageForLocale("", nullptr, nullptr, "ja_JP.UTF-8"), ja);
}

}  // namespace
}  // namespace sabrel::texts
