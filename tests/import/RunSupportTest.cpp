// Progress scaling, batch sizes, the stopwatch, the free-space question, the
// file type table with its reader list, and saved import definitions.
#include <gtest/gtest.h>

#include <algorithm>

#include "database/Calendar.h"
#include "database/Preferences.h"
#include "import/ImportDefinition.h"
#include "import/ImportTypes.h"
#include "import/RunSupport.h"
#include "support/TestSupport.h"

namespace quill::test {
namespace {

TEST(CalcMax, FindsTheSmallestDivisorThatFitsTheBar) {
    struct Case {
        double total;
        int32_t divisor;
        int16_t barMax;
    };
    for (Case c : {Case{32767, 1, 32767}, Case{32768, 2, 16384}, Case{1, 1, 1}, Case{65534, 2, 32767},
                   Case{65535, 3, 21845}, Case{1e9, 30519, 32766}, Case{0, 1, 0}}) {
        int32_t divisor = -1;
        int16_t barMax = -1;
        CalcMax(divisor, barMax, c.total);
        EXPECT_EQ(divisor, c.divisor) << c.total;
        EXPECT_EQ(barMax, c.barMax) << c.total;
        EXPECT_LE(c.total / divisor, 32767.0);
    }
}

TEST(SpeedVal, TranslatesEachStoredChoice) {
    Installation inst;
    Session& s = inst.s();
    EXPECT_EQ(SpeedVal(s, 2, 0), 1);
    const int32_t table[6][7] = {{50, 100, 250, 500, 750, 1000, 1250}, {50, 100, 200, 275, 350, 500, 700},
                                 {1, 3, 7, 10, 20, 30, 40},           {1, 3, 7, 10, 20, 30, 40},
                                 {8, 16, 30, 50, 70, 85, 100},        {10, 20, 20, 25, 25, 50, 50}};
    for (int choice = 1; choice <= 7; ++choice) {
        for (int setting = 26; setting <= 30; ++setting) setKonfigNumber(s, setting, choice);
        for (int setting = 26; setting <= 31; ++setting)
            EXPECT_EQ(SpeedVal(s, 3, setting), table[setting - 26][choice - 1]) << setting << " choice " << choice;
    }
}

TEST(SpeedVal, SettingWithoutChoiceTakesItsDefault) {
    Installation inst;
    Session& s = inst.s();
    for (int setting = 26; setting <= 30; ++setting) setKonfigNumber(s, setting, 0);
    EXPECT_EQ(SpeedVal(s, 3, 26), 500);
    EXPECT_EQ(SpeedVal(s, 3, 27), 300);
    EXPECT_EQ(SpeedVal(s, 3, 28), 4);
    EXPECT_EQ(SpeedVal(s, 3, 29), 4);
    EXPECT_EQ(SpeedVal(s, 3, 30), 4);
    EXPECT_EQ(SpeedVal(s, 3, 31), ReaderBatchDefault);
    EXPECT_GT(ReaderBatchDefault, 0);
}

TEST(SpeedVal, FreshInstallationUsesChoiceFour) {
    Installation inst;
    EXPECT_EQ(SpeedVal(inst.s(), 3, 30), 50);
    EXPECT_EQ(SpeedVal(inst.s(), 3, 31), 25);
}

TEST(StartStop, CountsWholeSecondsAcrossMidnights) {
    Stopwatch w;
    StartStopAt(w, 1, 2, 1000, timeFromHms(23, 59, 50));
    EXPECT_EQ(StartStopAt(w, 2, 2, 1000, timeFromHms(23, 59, 59, 99)), 9);
    EXPECT_EQ(StartStopAt(w, 2, 2, 1001, timeFromHms(0, 0, 10)), 20);
    EXPECT_EQ(StartStopAt(w, 2, 2, 1003, timeFromHms(0, 0, 10)), 20 + 2 * 86400);
    EXPECT_EQ(StartStopAt(w, 2, 3, 1003, timeFromHms(0, 0, 10)), 0);  // another slot was never started
    StartStopAt(w, 0, 0, 0, 0);
    EXPECT_EQ(StartStopAt(w, 2, 2, 1003, timeFromHms(0, 0, 10)), 0);
    EXPECT_EQ(StartStopAt(w, 1, 21, 1, 1), 0);  // out of range: ignored
}

TEST(NumberPicture, GroupsThousandsAndPadsToTheWidth) {
    EXPECT_EQ(numberPicture(4999999, 13), "    4,999,999");
    EXPECT_EQ(numberPicture(0, 3), "  0");
    EXPECT_EQ(numberPicture(1234567890123ull, 14), "1,234,567,890,123");
}

TEST(CheckSpace, AsksWhenTooLittleIsFreeAndCancelRefuses) {
    Installation inst;
    Session& s = inst.s();
    auto probe = [](const std::string&) { return uint64_t(1000); };
    EXPECT_EQ(CheckSpace(s, 999, "/data", probe), 0);
    EXPECT_TRUE(inst.ui.questions.empty());
    inst.ui.answer = RecordingInterface::Answer::No;  // Cancel (the default)
    EXPECT_EQ(CheckSpace(s, 5000, "/data/x", probe), 1);
    ASSERT_EQ(inst.ui.questions.size(), 1u);
    EXPECT_EQ(inst.ui.questions[0].caption, "Warning");
    EXPECT_EQ(inst.ui.questions[0].text,
              "You have only         1,000 bytes free on disk  /d This may be too little for this process. Running out "
              "of diskspace may corrupt the currently accessed data file(s).Press OK if you want to continue and "
              "Cancel if you want to abort this process!");
    s.Mem.DoTask = 2;
    EXPECT_EQ(CheckSpace(s, 5000, "/data/x", probe), 1);
    EXPECT_EQ(inst.ui.questions.size(), 1u);
}

// ---------------------------------------------------------------------------
// File type table and reader list

TEST(ImportTypes, TableHasFortyOfferedTypesAndTenReservedRows) {
    EXPECT_EQ(offeredImportTypes().size(), 40u);
    for (int n = 41; n <= 50; ++n) {
        ASSERT_NE(importTypeByNumber(n), nullptr);
        EXPECT_EQ(importTypeByNumber(n)->name, "Reserv");
        EXPECT_FALSE(importTypeByNumber(n)->offered());
    }
    EXPECT_EQ(importTypeByName("Reserv"), nullptr);
    EXPECT_EQ(importTypeByNumber(0), nullptr);
    EXPECT_EQ(importTypeByNumber(51), nullptr);
    EXPECT_EQ(importTypeByNumber(DefaultImportType)->name, "WinCIM");
}

TEST(ImportTypes, RowsAreTwentyTwoCharactersOfNameAndThreeDigits) {
    EXPECT_EQ(fileTypeRow(1), "AUTOSIG               001");
    EXPECT_EQ(fileTypeRow(23), "Outlook Express 4 Mail023");
    EXPECT_EQ(fileTypeRow(45), "Reserv                045");
    for (int n = 1; n <= 50; ++n) EXPECT_EQ(fileTypeRow(n).size(), 25u);
}

TEST(ImportTypes, FamiliesAndMasks) {
    EXPECT_EQ(importTypeByName("eudora")->masks, "*.MBX");
    EXPECT_EQ(importTypeByName("Eudora")->family, ReaderFamily::ByteFile);
    EXPECT_EQ(importTypeByName("CISCOMM")->family, ReaderFamily::ForumTable);
    EXPECT_EQ(importTypeByName("WinCIM")->family, ReaderFamily::WholeFile);
    EXPECT_EQ(importTypeByName("OzWin II")->family, ReaderFamily::TextCapture);
    EXPECT_EQ(importTypeByName("Outlook Mail")->family, ReaderFamily::Automation);
    EXPECT_TRUE(importTypeByName("Outlook Mail")->masks.empty());
    EXPECT_TRUE(sizeDrivenFamily(ReaderFamily::WholeFile));
    EXPECT_FALSE(sizeDrivenFamily(ReaderFamily::TextCapture));
}

TEST(ImportTypes, NamesThatArePrefixesMatchOverTheShorterLength) {
    EXPECT_TRUE(isImportType("OzWin II", "OzWin I"));
    EXPECT_TRUE(isImportType("OzWin I", "OzWin II"));
    EXPECT_TRUE(isImportType("NavCIS 1.7x-", "NavCIS 1.7x"));
    EXPECT_FALSE(isImportType("NavCIS 1.6x", "NavCIS 1.7x"));
    EXPECT_FALSE(isImportType("Eudora", "Pegasus"));
    EXPECT_FALSE(isImportType("", "Pegasus"));
}

TEST(ImportTypes, ChoiceByNameNumberOrHiddenDiagnosticType) {
    const ReaderRegistry& r = ReaderRegistry::builtin();
    EXPECT_EQ(resolveImportType("pegasus", r).number, 20);
    EXPECT_EQ(resolveImportType("20", r).name, "Pegasus");
    EXPECT_EQ(resolveImportType("45", r).name, "");
    EXPECT_EQ(resolveImportType("test fixture", r).number, FixtureImportType);
    EXPECT_EQ(resolveImportType("No Such Type", r).name, "");
    // The diagnostic type is never in the table.
    EXPECT_EQ(importTypeByName(FixtureImportTypeName), nullptr);
}

TEST(ReaderRegistry, AddsByTableNameAndFindsWithoutRegardToCase) {
    ReaderRegistry r;
    r.add("Pegasus", [] { return std::unique_ptr<Reader>(); });
    r.add("No Such Type", [] { return std::unique_ptr<Reader>(); });
    ASSERT_EQ(r.entries().size(), 1u);
    ASSERT_NE(r.find("PEGASUS"), nullptr);
    EXPECT_EQ(r.find("PEGASUS")->number, 20);
    EXPECT_EQ(r.find("PEGASUS")->family, ReaderFamily::ByteFile);
    EXPECT_EQ(r.findNumber(20), r.find("Pegasus"));
    EXPECT_EQ(r.find("Eudora"), nullptr);
}

// ---------------------------------------------------------------------------
// Saved import definitions

TEST(ImportDefinition, SelectionIsSplitFromItsEnd) {
    EXPECT_EQ(splitSelectionFromEnd("a.mbx;b.mbx; c.mbx ;", ";"), (std::vector<std::string>{"c.mbx", "b.mbx", "a.mbx"}));
    EXPECT_EQ(splitSelectionFromEnd("Inbox##Sent Items", "##"), (std::vector<std::string>{"Sent Items", "Inbox"}));
    EXPECT_TRUE(splitSelectionFromEnd("", ";").empty());
    EXPECT_EQ(selectionSeparator("Outlook Mail"), "##");
    EXPECT_EQ(selectionSeparator("Outlook Express 5 Mail"), ";");
}

TEST(ImportDefinition, SavedDescriptionNamesTheDateAndTime) {
    // The date in the long date picture D18, the time in the short time picture T7.
    EXPECT_EQ(savedDescription(dateFromYmd(2026, 5, 1), timeFromHms(9, 7, 30)),
              "Saved from ImportWizard  Friday, May 1, 2026 09:07");
}

TEST(ImportDefinition, SavedDescriptionKeepsTheTimeWhenTheLongDateIsTooLong) {
    // "Wednesday, September 30, 2026" would push the time past the 50
    // characters BAT:DESCRIPTION holds: the weekday is left out instead.
    struct Case {
        int year, month, day;
        const char* expected;
    } cases[] = {
        {2026, 9, 30, "Saved from ImportWizard  September 30, 2026 23:59"},
        {2027, 9, 29, "Saved from ImportWizard  September 29, 2027 23:59"},
        {2027, 2, 24, "Saved from ImportWizard  February 24, 2027 23:59"},
        {2026, 12, 30, "Saved from ImportWizard  December 30, 2026 23:59"},
        {2024, 3, 5, "Saved from ImportWizard  March 5, 2024 23:59"},
    };
    for (const Case& c : cases) {
        const std::string d = savedDescription(dateFromYmd(c.year, c.month, c.day), timeFromHms(23, 59, 0));
        EXPECT_EQ(d, c.expected);
        EXPECT_LE(d.size(), decltype(BatchesRecord::DESCRIPTION)::size());
    }
    // Every day of a year with both long names: the description fits, ends in
    // the time, and holds the day and year whole.
    for (int32_t day = dateFromYmd(2026, 1, 1); day <= dateFromYmd(2026, 12, 31); ++day) {
        const std::string d = savedDescription(day, timeFromHms(12, 34, 0));
        EXPECT_LE(d.size(), decltype(BatchesRecord::DESCRIPTION)::size()) << d;
        EXPECT_TRUE(d.ends_with(", 2026 12:34")) << d;
    }
}

TEST(ImportDefinition, SavedAndLoadedAgainWithItsFileSpecs) {
    Installation inst;
    Session& s = inst.s();
    ImportDefinition d;
    d.database = 4711;
    d.fileType = 6;
    d.typeName = "Eudora";
    d.impPath = "/home/user/mail";
    d.selMethod = SelectFiles;
    d.mailbox = 815;
    d.mailMsg = 1;
    d.forumMsg = 0;
    d.newsgroupMsg = 0;
    d.msgFilter = 0;
    d.allowReimp = 1;
    d.mailTopic = 99;
    d.masks = "In.mbx;Out.mbx;Trash.mbx";
    uint32_t id = saveImportDefinition(s, d);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(d.description.rfind("Saved from ImportWizard  ", 0), 0u);
    auto back = loadImportDefinition(s, id);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->id, id);
    EXPECT_EQ(back->description, d.description);
    EXPECT_EQ(back->typeName, "Eudora");
    EXPECT_EQ(back->impPath, d.impPath);
    EXPECT_EQ(back->selMethod, SelectFiles);
    EXPECT_EQ(back->database, 4711u);
    EXPECT_EQ(back->mailbox, 815u);
    EXPECT_EQ(back->forumMsg, 0);
    EXPECT_EQ(back->allowReimp, 1);
    EXPECT_EQ(back->mailTopic, 99u);
    auto names = splitSelectionFromEnd(back->masks, ";");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"In.mbx", "Out.mbx", "Trash.mbx"}));
    EXPECT_FALSE(loadImportDefinition(s, id + 1000).has_value());

    ImportDefinition outlook;
    outlook.typeName = "Outlook Mail";
    outlook.fileType = 33;
    outlook.description = "Folders";
    outlook.masks = "Inbox##Sent Items";
    uint32_t id2 = saveImportDefinition(s, outlook);
    ASSERT_NE(id2, 0u);
    EXPECT_EQ(loadImportDefinition(s, id2)->masks, "Inbox##Sent Items");
    auto all = listImportDefinitions(s);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].id, id);
    EXPECT_EQ(all[1].description, "Folders");
}

}  // namespace
}  // namespace quill::test
