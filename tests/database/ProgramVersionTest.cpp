#include <gtest/gtest.h>

#include <clocale>

#include "database/Calendar.h"
#include "database/Installation.h"
#include "database/Preferences.h"
#include "support/TestSupport.h"

using namespace quill;
using quill::test::Installation;
using quill::test::RecordingInterface;

TEST(ProgramVersion, AnInstallationMadeByThisVersionIsNoUpgradeAndNoFirstStartLater) {
    Installation inst;
    EXPECT_EQ(konfigNumber(inst.s(), kPrefProgramVersion), kProgramVersion);
    // The next program on it (the desktop after the command-line tool).
    RecordingInterface ui;
    auto next = inst.another(ui);
    VersionCheck v = checkProgramVersion(*next, true);
    EXPECT_FALSE(v.upgraded);
    EXPECT_FALSE(v.firstStart);
}

TEST(ProgramVersion, AnOldInstallationGetsDefaultLayoutsOnce) {
    Installation inst;
    Session& s = inst.s();
    setKonfigNumber(s, kPrefProgramVersion, kLayoutVersion - 1);
    int32_t unused = 0;
    std::string none;
    ASSERT_TRUE(Konfig(s, 4, 0, unused, 0, none));
    WindowRect moved{300, 200, 500, 400}, defaults;
    ASSERT_TRUE(WindowPos2(s, 3, 2, defaults));
    ASSERT_TRUE(WindowPos2(s, 2, 2, moved));
    ASSERT_TRUE(WindowPos2(s, 4, 2, moved));
    std::vector<int> widths{50, 50, 50, 50, 50}, defaultWidths;
    ASSERT_TRUE(ListCol(s, 3, 4, defaultWidths));
    ASSERT_TRUE(ListCol(s, 2, 4, widths));
    ASSERT_TRUE(ListCol(s, 4, 4, widths));

    RecordingInterface ui;
    auto next = inst.another(ui);
    VersionCheck v = checkProgramVersion(*next, true);
    EXPECT_TRUE(v.upgraded);
    EXPECT_FALSE(v.firstStart);
    // The reset was saved: a third program reads the defaults.
    auto third = inst.another(ui);
    WindowRect now;
    ASSERT_TRUE(WindowPos2(*third, 3, 2, now));
    EXPECT_EQ(now, defaults);
    std::vector<int> nowWidths;
    ASSERT_TRUE(ListCol(*third, 3, 4, nowWidths));
    EXPECT_EQ(nowWidths, defaultWidths);
    EXPECT_FALSE(checkProgramVersion(*third, true).upgraded);
}

TEST(SystemDateFormat, ShowsTheYearWithFourDigits) {
    const char* before = std::setlocale(LC_TIME, nullptr);
    std::string saved = before ? before : "C";
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(formatDate(dateFromYmd(1995, 3, 4), "@D17"), "03/04/1995");
    EXPECT_EQ(formatDate(dateFromYmd(2026, 12, 7), "@D17"), "12/07/2026");
    std::setlocale(LC_TIME, saved.c_str());
}
