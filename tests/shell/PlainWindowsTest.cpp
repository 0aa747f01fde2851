#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QKeyEvent>
#include <QTreeWidget>

#include <filesystem>

#include "ShellFixture.h"
#include "database/Catalogue.h"
#include "database/Common.h"
#include "database/Installation.h"
#include "database/PreferenceNumbers.h"
#include "database/Preferences.h"
#include "people/Databases.h"
#include "people/Persons.h"
#include "shell/windows/AddForum.h"
#include "shell/windows/BrowseBox.h"
#include "shell/windows/BrowsePerson.h"
#include "shell/windows/ChangeForum.h"
#include "shell/windows/UserPanel.h"

using namespace quill;
using namespace quill::shell;
using quill::test::FrameFixture;

namespace {

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, k, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, mods, text);
    QApplication::sendEvent(w, &release);
}

// Types text as key presses, so the field reports it as the user's edit.
void type(QWidget* w, const QString& text) {
    for (QChar c : text) key(w, c.toUpper().unicode(), Qt::NoModifier, QString(c));
}

// Lets windows that were closed go.
void settle() {
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class PlainWindows : public FrameFixture {
protected:
    uint32_t addForum(const std::string& name) {
        DbResult r = addForumDatabase(*session, name);
        EXPECT_TRUE(r.ok());
        return r.id;
    }
    template <class W>
    W* open(const std::string& name) {
        QWidget* w = frame->openWindow(name);
        EXPECT_NE(w, nullptr) << name;
        return qobject_cast<W*>(w);
    }
    // Persons of the selected database, each with the count of messages sent.
    void addPersons(const std::vector<std::pair<std::string, uint32_t>>& persons) {
        Session& s = *session;
        OP_CLOSE(s, OpOpenShared, {PersonFile::Number, PLINKFile::Number, ControlFile::Number});
        ASSERT_TRUE(beginWrites(s, {&s.Person, &s.PLINK, &s.Control}));
        int n = 0;
        for (auto& [name, sent] : persons) {
            ASSERT_FALSE(AddPers(s, std::to_string(70000 + n++) + ",1", name));
            s.PER.FROMCOUNT = sent;
            ASSERT_TRUE(UppDat(s, s.Person, UpdPut, UpdReportRollback));
        }
        ASSERT_TRUE(s.store.commit());
        OP_CLOSE(s, OpClose, {PersonFile::Number, PLINKFile::Number, ControlFile::Number});
    }
};

TEST_F(PlainWindows, EachWindowOpensByNameWithItsCaption) {
    openFrame();
    const std::pair<const char*, const char*> windows[] = {
        {"ChangeForum", "Change Active Database"},
        {"AddForum", " Add New Forum"},
        {"BrowseBox", "Mail Database Setup"},
        {"UserPanel", "Preferences"},
        {"About", "About Quillmer"},
    };
    for (auto& [name, caption] : windows) {
        SCOPED_TRACE(name);
        QWidget* w = frame->openWindow(name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), caption);
    }
    // The person browse needs an active database.
    EXPECT_EQ(frame->openWindow("BrowsePerson"), nullptr);
}

TEST_F(PlainWindows, TypingAUniqueNameActivatesThatDatabase) {
    addForum("Astronomy");
    addForum("Gardening");
    openFrame();
    auto* w = open<ChangeForumWindow>("ChangeForum");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->list()->topLevelItemCount(), 2);
    type(w->nameField(), "gard");
    key(w->nameField(), Qt::Key_Return);
    EXPECT_TRUE(frame->windowTitle().endsWith(" [Gardening]"));
    settle();
    EXPECT_FALSE(frame->isOpen("ChangeForum"));
}

TEST_F(PlainWindows, SharedFirstWordOpensTheListOnTheFirstMatchInsteadOfChoosing) {
    addForum("Garden Tools");
    addForum("Garden Birds");
    addForum("Astronomy");
    openFrame();
    auto* w = open<ChangeForumWindow>("ChangeForum");
    ASSERT_NE(w, nullptr);
    type(w->nameField(), "garden");
    key(w->nameField(), Qt::Key_Return);
    EXPECT_TRUE(frame->windowTitle().endsWith("[No Active Database]"));
    ASSERT_NE(w->list()->currentItem(), nullptr);
    EXPECT_EQ(w->list()->currentItem()->text(0), "Garden Birds");
    // Choosing in the list activates it.
    EXPECT_TRUE(w->choose());
    EXPECT_TRUE(frame->windowTitle().endsWith(" [Garden Birds]"));
}

// Another program adds a database while the selection is open behind
// another window: coming back to the selection shows it, and the arrow keys
// lead from the name field into the list.
TEST_F(PlainWindows, SelectionShowsADatabaseAnotherProgramAddedWhenComingBack) {
    addForum("Astronomy");
    openFrame();
    frame->show();
    auto* w = open<ChangeForumWindow>("ChangeForum");
    ASSERT_NE(w, nullptr);
    frame->openWindow("About");
    ASSERT_EQ(w->list()->topLevelItemCount(), 1);

    quill::test::RecordingInterface otherUi;
    Session other(otherUi);
    openInstallation(other, dir.path());
    ASSERT_TRUE(addForumDatabase(other, "Botany").ok());

    EXPECT_EQ(frame->openWindow("ChangeForum"), w);
    EXPECT_EQ(w->list()->topLevelItemCount(), 2);
    w->nameField()->setFocus();
    w->list()->setCurrentItem(w->list()->topLevelItem(0));
    key(w->nameField(), Qt::Key_Down);
    EXPECT_EQ(w->list()->currentItem()->text(0), "Botany");
}

TEST_F(PlainWindows, DatabaseWhoseDirectoryHasGoneIsNotActivated) {
    addForum("Astronomy");
    openFrame();
    std::filesystem::remove_all(dir / "F1");
    auto* w = open<ChangeForumWindow>("ChangeForum");
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->choose());
    EXPECT_TRUE(frame->windowTitle().endsWith("[No Active Database]"));
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_NE(ui.shownTexts.back().find("does not exist"), std::string::npos);
}

TEST_F(PlainWindows, AddNewForumRefusesANameThatDiffersOnlyInCase) {
    addForum("Gardening");
    openFrame();
    auto* w = open<AddForumWindow>("AddForum");
    ASSERT_NE(w, nullptr);
    w->nameField()->setText("GARDENING");
    EXPECT_FALSE(w->complete());
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_EQ(ui.shownTexts.back(), "Record add error!\r\nA record with identical key already exists!");
    EXPECT_TRUE(frame->isOpen("AddForum"));
    EXPECT_EQ(listCatalogue(*session).size(), 1u);

    // The first forum of a session without an active database becomes active.
    w->nameField()->setText("Astronomy");
    EXPECT_TRUE(w->complete());
    EXPECT_TRUE(frame->windowTitle().endsWith(" [Astronomy]"));
    EXPECT_EQ(listCatalogue(*session).size(), 2u);
}

TEST_F(PlainWindows, AddNewForumListsTheNewDatabaseInTheOpenSelection) {
    openFrame();
    auto* select = open<ChangeForumWindow>("ChangeForum");
    auto* add = open<AddForumWindow>("AddForum");
    ASSERT_TRUE(select && add);
    add->nameField()->setText("Botany");
    ASSERT_TRUE(add->complete());
    ASSERT_EQ(select->list()->topLevelItemCount(), 1);
    EXPECT_EQ(select->list()->topLevelItem(0)->text(0), "Botany");
}

TEST_F(PlainWindows, MailFormNeedsNameAndDefaultAddressAndOffersTenAlternatives) {
    openFrame();
    auto* box = open<BrowseBoxWindow>("BrowseBox");
    ASSERT_NE(box, nullptr);
    MailBoxForm* form = box->insert();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Add New Mail Database");
    EXPECT_EQ(form->findChildren<QLineEdit*>().size(), 12);

    struct Case {
        const char* name;
        const char* address;
    };
    for (const Case& c : {Case{"", "ann@example.org"}, Case{"Ann Owner", ""}, Case{"  ", "  "}}) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.address);
        form->nameField()->setText(c.name);
        form->addressField()->setText(c.address);
        EXPECT_FALSE(form->complete());
        EXPECT_TRUE(listMailDatabases(*session).empty());
    }

    form->nameField()->setText("Ann Owner");
    form->addressField()->setText("ann@example.org");
    for (std::size_t i = 0; i < altAddressCount; ++i)
        form->alternativeField(i)->setText(QString("ann%1@example.org").arg(i));
    form->accept();
    auto mail = listMailDatabases(*session);
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].MAILADDRESS.str(), "ann@example.org");
    EXPECT_EQ(altAddressesOf(mail[0]).size(), 10u);
    EXPECT_EQ(box->list()->topLevelItemCount(), 1);
    EXPECT_TRUE(frame->windowTitle().endsWith(" [Ann Owner]"));
}

TEST_F(PlainWindows, ChangingAMailDatabaseReplacesOnlyItsAlternativeAddresses) {
    DbResult r = addMailDatabase(*session, "Ann Owner", "ann@example.org", {"old1@example.org", "old2@example.org"});
    ASSERT_TRUE(r.ok());
    openFrame();
    auto* box = open<BrowseBoxWindow>("BrowseBox");
    ASSERT_NE(box, nullptr);
    MailBoxForm* form = box->change();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Update alternative addresses");
    EXPECT_EQ(form->alternativeField(1)->text(), "old2@example.org");
    EXPECT_TRUE(form->nameField()->isReadOnly());
    form->alternativeField(0)->clear();
    form->alternativeField(4)->setText("new@example.org");
    ASSERT_TRUE(form->complete());
    ForumsRecord entry;
    ASSERT_TRUE(readDatabaseEntry(*session, r.id, entry));
    EXPECT_EQ(altAddressesOf(entry), (std::vector<std::string>{"old2@example.org", "new@example.org"}));
    EXPECT_EQ(entry.MAILADDRESS.str(), "ann@example.org");
}

TEST_F(PlainWindows, PersonBrowseIsNamedByDatabaseTypeAndShowsTheCounts) {
    const std::pair<uint8_t, const char*> types[] = {
        {TypeForum, "Forum Members"}, {TypeMail, "Mail Partners"}, {TypeNewsgroup, "Newsgroup Participants"}};
    openFrame();
    int n = 0;
    for (auto& [type, caption] : types) {
        SCOPED_TRACE(caption);
        const std::string name = std::string("Db") + char('A' + n++);
        uint32_t id;
        if (type == TypeMail) {
            DbResult r = addMailDatabase(*session, name, "owner@example.org", {});
            ASSERT_TRUE(r.ok());
            id = r.id;
        } else {
            id = addForum(name);
            if (type == TypeNewsgroup) {
                OP_CLOSE(*session, OpOpenShared, {ForumsFile::Number});
                session->Forums.clearBuffer();
                session->FOR.ID = id;
                ASSERT_TRUE(session->Forums.get(ForumsFile::FORUMKEY));
                session->FOR.TYPE = TypeNewsgroup;
                ASSERT_TRUE(session->Forums.put());
                OP_CLOSE(*session, OpClose, {ForumsFile::Number});
            }
        }
        ASSERT_TRUE(frame->activateDatabase(id));
        addPersons({{"Ann Zeta", 3}, {"Bob Alpha", 12}});
        const int persons = type == TypeMail ? 3 : 2;  // the mailbox owner is a person too
        auto* w = open<BrowsePersonWindow>("BrowsePerson");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), caption);
        EXPECT_EQ(w->countLabel()->text(), QString("%1: %2").arg(caption).arg(persons));
        QAbstractItemModel* m = w->view()->model();
        ASSERT_EQ(m->rowCount(), persons);
        EXPECT_EQ(m->data(m->index(0, PersonTableModel::LastName)).toString(), "Alpha");
        EXPECT_EQ(m->data(m->index(0, PersonTableModel::Sent)).toUInt(), 12u);
        frame->closeGroup(WindowGroup::NotTools);
        settle();
    }
}

TEST_F(PlainWindows, PersonBrowseOfADatabaseWhoseDirectoryHasGoneDoesNotOpen) {
    uint32_t id = addForum("Astronomy");
    openFrame();
    ASSERT_TRUE(frame->activateDatabase(id));
    std::filesystem::remove_all(dir / "F1");
    EXPECT_EQ(frame->openWindow("BrowsePerson"), nullptr);
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_NE(ui.shownTexts.back().find("does not exist"), std::string::npos);
}

TEST_F(PlainWindows, PersonBrowseHoldsAPageAndReachesBothEnds) {
    uint32_t id = addForum("Crowded");
    ASSERT_TRUE(selectDatabase(*session, id));
    std::vector<std::pair<std::string, uint32_t>> many;
    for (int i = 0; i < 1200; ++i) many.push_back({"Ann P" + std::to_string(10000 + i), uint32_t(i)});
    addPersons(many);
    openFrame();
    ASSERT_TRUE(frame->activateDatabase(id));
    frame->show();
    auto* w = open<BrowsePersonWindow>("BrowsePerson");
    ASSERT_NE(w, nullptr);
    QAbstractItemModel* m = w->view()->model();
    EXPECT_LT(m->rowCount(), 1200);
    EXPECT_EQ(w->countLabel()->text(), "Forum Members: 1200");
    key(w->view(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(m->data(m->index(m->rowCount() - 1, PersonTableModel::LastName)).toString(), "P11199");
    type(w->locator(), "p1050");
    QModelIndex current = w->view()->currentIndex();
    EXPECT_EQ(m->data(m->index(current.row(), PersonTableModel::LastName)).toString(), "P10500");
    key(w->view(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(m->data(m->index(0, PersonTableModel::LastName)).toString(), "P10000");
}

// Scrolling to either end of the rows held brings in the next page there
// and drops rows at the other end, while the person at the top of the view
// stays the same: scrolling on meets every person once, in order.
TEST_F(PlainWindows, ScrollingThroughThePersonBrowseKeepsThePlaceAcrossPages) {
    uint32_t id = addForum("Crowded");
    ASSERT_TRUE(selectDatabase(*session, id));
    std::vector<std::pair<std::string, uint32_t>> many;
    for (int i = 0; i < 900; ++i) many.push_back({"Ann P" + std::to_string(10000 + i), 0});
    addPersons(many);
    openFrame();
    ASSERT_TRUE(frame->activateDatabase(id));
    frame->resize(1000, 700);
    frame->show();
    auto* w = open<BrowsePersonWindow>("BrowsePerson");
    ASSERT_NE(w, nullptr);
    settle();
    QTableView* v = w->view();
    QAbstractItemModel* m = v->model();
    auto topName = [&] { return m->data(m->index(v->verticalScrollBar()->value(), 0)).toString(); };
    QScrollBar* bar = v->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    int last = -1;
    for (int step = 0; step < 100 && !w->model()->atEnd(); ++step) {
        bar->setValue(bar->maximum() - 1);
        const QString before = topName();
        bar->setValue(bar->maximum());  // reaches the end of the rows held
        const int number = topName().mid(1).toInt();
        EXPECT_GT(number, last);
        last = number;
        EXPECT_LE(m->rowCount(), int(400));
        EXPECT_EQ(m->data(m->index(bar->value() - 1, 0)).toString(), before);
    }
    EXPECT_TRUE(w->model()->atEnd());
    EXPECT_EQ(m->data(m->index(m->rowCount() - 1, 0)).toString(), "P10899");
    for (int step = 0; step < 100 && !w->model()->atStart(); ++step) {
        bar->setValue(1);
        const QString before = topName();
        bar->setValue(0);
        EXPECT_EQ(m->data(m->index(bar->value() + 1, 0)).toString(), before);
    }
    EXPECT_EQ(m->data(m->index(0, 0)).toString(), "P10000");
}

TEST_F(PlainWindows, ChangedDateFormatIsKeptAndReachesTheFrame) {
    openFrame();
    auto* w = open<UserPanelWindow>("UserPanel");
    ASSERT_NE(w, nullptr);
    w->dateFormat()->setCurrentIndex(w->dateFormat()->findData(10));
    w->lineWidth()->setValue(72);
    ASSERT_TRUE(w->save());
    EXPECT_EQ(session->prefs.numbers[pref::DateFormat], 10);
    std::string label, picture;
    EXPECT_EQ(SetDate(*session, label, picture), 10);

    // Another program (and a later start) reads it from the store.
    auto other = std::make_unique<Session>(ui);
    int32_t v = 0;
    std::string t;
    other->Mem = session->Mem;
    ASSERT_TRUE(Konfig(*other, 1, 0, v, 0, t));
    ASSERT_TRUE(Konfig(*other, 6, 0, v, 0, t));
    EXPECT_EQ(konfigNumber(*other, pref::DateFormat), 10);
    EXPECT_EQ(konfigNumber(*other, pref::ExportLineWidth), 72);
    // What the user left alone is not written, not even a font this system
    // shows under another name.
    EXPECT_EQ(other->prefs.texts[pref::WindowFont], "Arial");

    frame->closeGroup(WindowGroup::NotTools);
    settle();
    auto* again = open<UserPanelWindow>("UserPanel");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->dateFormat()->currentData().toInt(), 10);
    EXPECT_EQ(again->lineWidth()->value(), 72);
}

TEST_F(PlainWindows, FrameLayoutChoicesTakeEffectOnSaveAndAreOfferedAgain) {
    openFrame();
    ASSERT_EQ(frame->area()->viewMode(), QMdiArea::SubWindowView);
    auto* w = open<UserPanelWindow>("UserPanel");
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->tabbedView()->isChecked());
    w->tabbedView()->setChecked(true);
    w->framePlacement()->setChecked(true);
    ASSERT_TRUE(w->save());
    EXPECT_EQ(frame->area()->viewMode(), QMdiArea::TabbedView);
    EXPECT_EQ(konfigNumber(*session, kPrefTabbedView), 1);
    EXPECT_EQ(konfigNumber(*session, kPrefFramePlacement), 1);
    EXPECT_EQ(konfigNumber(*session, kPrefPlainBackground), 0);

    frame->closeGroup(WindowGroup::NotTools);
    settle();
    auto* again = open<UserPanelWindow>("UserPanel");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->tabbedView()->isChecked());
    EXPECT_TRUE(again->framePlacement()->isChecked());
    again->tabbedView()->setChecked(false);
    ASSERT_TRUE(again->save());
    EXPECT_EQ(frame->area()->viewMode(), QMdiArea::SubWindowView);
}

TEST_F(PlainWindows, SavedFontSizesReachTheWindowsAlreadyOpen) {
    openFrame();
    auto* panel = open<UserPanelWindow>("UserPanel");
    ASSERT_NE(panel, nullptr);
    // The built-in size leaves the platform's fonts alone.
    const int platformSize = QApplication::font().pointSize();
    auto* list = panel->findChild<QAbstractItemView*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->font().pointSize(), platformSize);

    panel->fontSize(0)->setValue(15);  // windows
    panel->fontSize(1)->setValue(17);  // lists
    ASSERT_TRUE(panel->save());
    EXPECT_EQ(panel->font().pointSize(), 15);
    EXPECT_EQ(list->font().pointSize(), 17);
}

TEST_F(PlainWindows, PreferencesRefuseADirectoryThatDoesNotExist) {
    openFrame();
    auto* w = open<UserPanelWindow>("UserPanel");
    ASSERT_NE(w, nullptr);
    const QString before = w->dataDir()->text();
    w->dataDir()->setText(QString::fromStdString(dir / "nowhere"));
    EXPECT_FALSE(w->save());
    ASSERT_FALSE(ui.shownTexts.empty());
    EXPECT_EQ(ui.shownTexts.back(), "This path does not exist!\r\nPlease enter a valid path\r\n");
    std::string stored;
    ASSERT_TRUE(AutoPath(*session, 1, 18, stored));
    ASSERT_TRUE(AutoPath(*session, 3, 18, stored));
    EXPECT_EQ(QString::fromStdString(stored), before);
}

}  // namespace
