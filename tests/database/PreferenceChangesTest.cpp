#include <gtest/gtest.h>

#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/PreferenceNumbers.h"
#include "database/Preferences.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

void loadGroups(Session& s) {
    int32_t v = 0;
    std::string t;
    ASSERT_TRUE(Konfig(s, 1, 0, v, 0, t));
    ASSERT_TRUE(Konfig(s, 6, 0, v, 0, t));
}

// Two programs change preferences of the same groups one after the other,
// each from what it read at its start: the second keeps the first one's
// changes and the identifier generator sharing the group's record.
TEST(SavePreferenceChanges, KeepsWhatAnotherProgramSavedInTheSameGroup) {
    test::Installation inst;
    Session& first = inst.s();
    test::RecordingInterface otherUi;
    auto second = inst.another(otherUi);
    loadGroups(first);
    loadGroups(*second);

    ASSERT_TRUE(savePreferenceChanges(first, {{pref::ExportLineWidth, 100}, {pref::TimeFormat, 3}}, {}));
    OP_CLOSE(first, OpOpenShared, {ControlFile::Number});
    const uint32_t drawn = NextNr(first);
    OP_CLOSE(first, OpClose, {ControlFile::Number});
    ASSERT_NE(drawn, 0u);

    ASSERT_TRUE(savePreferenceChanges(*second, {{pref::DateFormat, 6}, {pref::KeepColour, 0x00ff00}},
                                      {{pref::ListFont, "DejaVu Sans"}}));
    test::RecordingInterface thirdUi;
    auto third = inst.another(thirdUi);
    loadGroups(*third);
    EXPECT_EQ(konfigNumber(*third, pref::ExportLineWidth), 100);
    EXPECT_EQ(konfigNumber(*third, pref::TimeFormat), 3);
    EXPECT_EQ(konfigNumber(*third, pref::DateFormat), 6);
    EXPECT_EQ(konfigNumber(*third, pref::KeepColour), 0x00ff00);
    EXPECT_EQ(third->prefs.texts[pref::ListFont], "DejaVu Sans");
    EXPECT_EQ(konfigNumber(*third, pref::ListFont), 8);  // the size stays the default
    // The generator went on from the identifier drawn between the saves.
    OP_CLOSE(*third, OpOpenShared, {ControlFile::Number});
    EXPECT_EQ(NextNr(*third), drawn + 1);
    OP_CLOSE(*third, OpClose, {ControlFile::Number});
    // The saving session holds the groups as stored.
    EXPECT_EQ(second->prefs.numbers[pref::ExportLineWidth], 100);
}

TEST(SavePreferenceChanges, ALongFontNameIsCutToItsFieldAndUnknownNumbersAreIgnored) {
    test::Installation inst;
    Session& s = inst.s();
    loadGroups(s);
    ASSERT_TRUE(savePreferenceChanges(s, {{pref::WindowFont, 11}, {999, 5}},
                                      {{pref::WindowFont, "A Font Name Longer Than Twenty"}}));
    test::RecordingInterface otherUi;
    auto other = inst.another(otherUi);
    loadGroups(*other);
    EXPECT_EQ(other->prefs.texts[pref::WindowFont], "A Font Name Longer T");
    EXPECT_EQ(konfigNumber(*other, pref::WindowFont), 11);
    EXPECT_EQ(other->prefs.numbers.count(999), 0u);
}

}  // namespace
}  // namespace quill
