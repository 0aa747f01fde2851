#include "shell/windows/UserPanel.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "database/Calendar.h"
#include "database/Catalogue.h"
#include "database/PreferenceNumbers.h"
#include "database/Preferences.h"
#include "shell/Appearance.h"
#include "shell/Frame.h"

namespace quill::shell {

namespace {

QComboBox* choiceBox(QWidget* parent, std::initializer_list<std::pair<const char*, int>> choices) {
    auto* box = new QComboBox(parent);
    for (auto& [label, value] : choices) box->addItem(label, value);
    return box;
}

void choose(QComboBox* box, int32_t value) {
    int i = box->findData(int(value));
    if (i >= 0) box->setCurrentIndex(i);
}

int32_t chosen(const QComboBox* box) { return box->currentData().toInt(); }

const char* const colourLabels[] = {"Messages marked &Delete", "&Read-only fields", "Messages marked &Keep",
                                    "Search &hits"};
const char* const fontLabels[] = {"&Window font", "&List font", "Database &form font", "Message &text font"};
const char* const speedLabels[] = {"&Merging duplicate persons", "&Purging and counting", "Word &indexing",
                                   "&Classifying by key words", "I&mporting"};

}  // namespace

UserPanelWindow::UserPanelWindow(Frame& frame) : frame_(frame), session_(frame.newSession()) {
    setWindowTitle("Preferences");
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->addTab(datesPage(), "Dates and &times");
    tabs_->addTab(displayPage(), "Dis&play");
    tabs_->addTab(speedsPage(), "&Speeds");
    tabs_->addTab(exportPage(), "&Export");
    tabs_->addTab(pathsPage(), "&Directories");
    layout->addWidget(tabs_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (save()) closeWindowOf(this);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { closeWindowOf(this); });
    load();
    setFocusProxy(tabs_);
    setPreferredSize(QSize(560, 440));
}

UserPanelWindow::~UserPanelWindow() = default;

QWidget* UserPanelWindow::datesPage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    std::initializer_list<std::pair<const char*, int>> dates = {
        {"mm-dd-yyyy", 2}, {"dd-mm-yyyy", 6}, {"yyyy-mm-dd", 10}, {"Windows setting", 17}};
    dateFormat_ = choiceBox(page, dates);
    dateFormat_->setToolTip("How dates are shown in the status bar, the browses and the forms");
    form->addRow("&Date format", dateFormat_);
    listDateFormat_ = choiceBox(page, dates);
    listDateFormat_->setToolTip("How dates are shown in lists");
    form->addRow("Date format in &lists", listDateFormat_);
    timeFormat_ = choiceBox(page, {{"hh:mm", 1}, {"hh:mmXM", 3}, {"Windows setting", 7}});
    timeFormat_->setToolTip("How times are shown");
    form->addRow("&Time format", timeFormat_);
    sample_ = new QLabel(page);
    form->addRow("Now shown as", sample_);
    for (QComboBox* b : {dateFormat_, timeFormat_})
        connect(b, &QComboBox::currentIndexChanged, this, &UserPanelWindow::showSamples);
    return page;
}

QWidget* UserPanelWindow::displayPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    std::initializer_list<std::pair<const char*, int>> persons = {{"Name", pref::PersonName},
                                                                  {"Name and address", pref::PersonNameAndAddress}};
    messagePersons_ = choiceBox(page, persons);
    form->addRow("Default sender/receiver display format on &message browse", messagePersons_);
    mailPersons_ = choiceBox(page, persons);
    form->addRow("Default sender/receiver display format on m&ail browse", mailPersons_);
    treeRows_ = choiceBox(page, {{"Sender", 1},
                                 {"Sender, number", 2},
                                 {"Sender, date", 3},
                                 {"Sender, number, date", 4},
                                 {"Sender, date, number", 5}});
    form->addRow("Thread tree &rows", treeRows_);
    layout->addLayout(form);
    // How the main window holds its windows: read by the frame whenever the
    // preferences are saved.
    tabbedView_ = new QCheckBox("Show the windows as ta&bs", page);
    tabbedView_->setToolTip("One tab per open window instead of overlapping windows");
    plainBackground_ = new QCheckBox("Plain &background behind the windows", page);
    framePlacement_ = new QCheckBox("Open the main window where it was &last closed", page);
    for (QCheckBox* box : {tabbedView_, plainBackground_, framePlacement_}) layout->addWidget(box);

    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < colours_.size(); ++i) {
        auto* button = new QPushButton(page);
        button->setToolTip("Choose the colour");
        auto* label = new QLabel(colourLabels[i], page);
        label->setBuddy(button);
        grid->addWidget(label, int(i), 0);
        grid->addWidget(button, int(i), 1);
        colours_[i] = button;
        const int preference = pref::DeleteColour + int(i);
        connect(button, &QPushButton::clicked, this, [this, preference, i] {
            QColor c = QColorDialog::getColor(colourOf(colourValues_[i]), this, colourLabels[i]);
            if (c.isValid()) setColour(preference, c);
        });
    }
    for (std::size_t i = 0; i < fontNames_.size(); ++i) {
        fontNames_[i] = new QFontComboBox(page);
        fontSizes_[i] = new QSpinBox(page);
        fontSizes_[i]->setRange(6, 36);
        fontSizes_[i]->setSuffix(" pt");
        auto* label = new QLabel(fontLabels[i], page);
        label->setBuddy(fontNames_[i]);
        int row = int(colours_.size() + i);
        grid->addWidget(label, row, 0);
        grid->addWidget(fontNames_[i], row, 1);
        grid->addWidget(fontSizes_[i], row, 2);
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch();
    return page;
}

QWidget* UserPanelWindow::speedsPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* intro = new QLabel(
        "A faster setting does more work between two looks at the keyboard and mouse: long runs end sooner, "
        "but the program answers more slowly while they run.",
        page);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < speeds_.size(); ++i) {
        auto* box = new QComboBox(page);
        for (int level = 1; level <= 7; ++level) {
            QString text = QString::number(level);
            if (level == 1) text += " (slowest)";
            if (level == 4) text += " (standard)";
            if (level == 7) text += " (fastest)";
            box->addItem(text, level);
        }
        speeds_[i] = box;
        form->addRow(speedLabels[i], box);
    }
    completion_ = new QCheckBox("Show the time a long run took when it &finishes", page);
    form->addRow(completion_);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* UserPanelWindow::exportPage() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    lineWidth_ = new QSpinBox(page);
    lineWidth_->setRange(pref::MinExportLineWidth, pref::MaxExportLineWidth);
    lineWidth_->setSuffix(" characters");
    lineWidth_->setToolTip("Exported text is wrapped at this column");
    form->addRow("Exported text &line width", lineWidth_);
    return page;
}

QWidget* UserPanelWindow::pathsPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    auto directoryRow = [&](const char* label, const char* tip, QLineEdit*& field) {
        auto* row = new QHBoxLayout;
        field = new QLineEdit(page);
        field->setToolTip(tip);
        auto* pick = new QPushButton("Bro&wse...", page);
        QLineEdit* f = field;
        connect(pick, &QPushButton::clicked, this, [this, f] {
            QString d = QFileDialog::getExistingDirectory(this, "Choose a directory", f->text());
            if (!d.isEmpty()) f->setText(d);
        });
        row->addWidget(field, 1);
        row->addWidget(pick);
        form->addRow(label, row);
    };
    directoryRow("&Temporary directory", "Directory for import staging files and search results", tempDir_);
    directoryRow("&Data top directory", "Directory under which to place database directory tree", dataDir_);
    layout->addLayout(form);
    auto* note = new QLabel("Changed directories are used from the next start of Quillmer on.", page);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch();
    return page;
}

void UserPanelWindow::load() {
    // The stored preferences as they stand now: another program may have
    // changed them since this one started.
    int32_t v = 0;
    std::string t;
    (void)Konfig(*session_, 1, 0, v, 0, t);
    (void)Konfig(*session_, 6, 0, v, 0, t);
    (void)AutoPath(*session_, 1, 17, t);
    auto& numbers = session_->prefs.numbers;
    auto& texts = session_->prefs.texts;
    for (int n : {pref::DateFormat, pref::ListDateFormat, pref::TimeFormat, pref::MessageBrowsePersonFormat,
                  pref::MailBrowsePersonFormat, pref::ThreadTreeDisplay, pref::CompletionNotice,
                  pref::ExportLineWidth, kPrefPlainBackground, kPrefFramePlacement, kPrefTabbedView})
        loadedNumbers_[n] = numbers[n];
    for (int n = pref::DeleteColour; n <= pref::HitColour; ++n) loadedNumbers_[n] = numbers[n];
    for (int n = pref::MergeSpeed; n <= pref::ImportSpeed; ++n) loadedNumbers_[n] = numbers[n];
    for (int n = pref::WindowFont; n <= pref::MessageTextFont; ++n) {
        loadedNumbers_[n] = numbers[n];
        loadedTexts_[n] = texts[n];
    }
    loadedTemp_ = session_->prefs.savedTempDir;
    loadedData_ = session_->prefs.savedFileDir;

    choose(dateFormat_, loadedNumbers_[pref::DateFormat]);
    choose(listDateFormat_, loadedNumbers_[pref::ListDateFormat]);
    choose(timeFormat_, loadedNumbers_[pref::TimeFormat]);
    choose(messagePersons_, loadedNumbers_[pref::MessageBrowsePersonFormat]);
    choose(mailPersons_, loadedNumbers_[pref::MailBrowsePersonFormat]);
    choose(treeRows_, loadedNumbers_[pref::ThreadTreeDisplay]);
    for (std::size_t i = 0; i < colours_.size(); ++i)
        setColour(pref::DeleteColour + int(i), colourOf(loadedNumbers_[pref::DeleteColour + int(i)]));
    for (std::size_t i = 0; i < fontNames_.size(); ++i) {
        const int n = pref::WindowFont + int(i);
        fontNames_[i]->setCurrentFont(QFont(shown(loadedTexts_[n])));
        fontSizes_[i]->setValue(loadedNumbers_[n]);
        fontsShown_[i] = fontNames_[i]->currentFont().family();
    }
    for (std::size_t i = 0; i < speeds_.size(); ++i) {
        int32_t level = loadedNumbers_[pref::MergeSpeed + int(i)];
        choose(speeds_[i], level >= 1 && level <= 7 ? level : 4);
    }
    completion_->setChecked(loadedNumbers_[pref::CompletionNotice] != 0);
    tabbedView_->setChecked(loadedNumbers_[kPrefTabbedView] == 1);
    plainBackground_->setChecked(loadedNumbers_[kPrefPlainBackground] == 1);
    framePlacement_->setChecked(loadedNumbers_[kPrefFramePlacement] == 1);
    int32_t width = loadedNumbers_[pref::ExportLineWidth];
    lineWidth_->setValue(width > 0 ? width : 78);
    tempDir_->setText(shown(loadedTemp_));
    dataDir_->setText(shown(loadedData_));
    showSamples();
}

void UserPanelWindow::setColour(int preference, const QColor& c) {
    std::size_t i = std::size_t(preference - pref::DeleteColour);
    colourValues_[i] = rgbOf(c);
    QPixmap swatch(40, 14);
    swatch.fill(c);
    colours_[i]->setIcon(QIcon(swatch));
    colours_[i]->setIconSize(swatch.size());
    colours_[i]->setText(c.name());
}

// Today and now in the formats chosen, as the program will show them.
void UserPanelWindow::showSamples() {
    auto& numbers = session_->prefs.numbers;
    const int32_t keepDate = numbers[pref::DateFormat], keepTime = numbers[pref::TimeFormat];
    numbers[pref::DateFormat] = chosen(dateFormat_);
    numbers[pref::TimeFormat] = chosen(timeFormat_);
    std::string label, datePicture, timePicture;
    (void)SetDate(*session_, label, datePicture);
    (void)SetTime(*session_, label, timePicture);
    numbers[pref::DateFormat] = keepDate;
    numbers[pref::TimeFormat] = keepTime;
    sample_->setText(QString::fromStdString(formatDate(today(), datePicture) + "  " +
                                            formatTime(clockNow(), timePicture)));
}

void UserPanelWindow::collect(std::map<int, int32_t>& numbers, std::map<int, std::string>& texts) const {
    auto number = [&](int n, int32_t v) {
        auto it = loadedNumbers_.find(n);
        if (it == loadedNumbers_.end() || it->second != v) numbers[n] = v;
    };
    number(pref::DateFormat, chosen(dateFormat_));
    number(pref::ListDateFormat, chosen(listDateFormat_));
    number(pref::TimeFormat, chosen(timeFormat_));
    number(pref::MessageBrowsePersonFormat, chosen(messagePersons_));
    number(pref::MailBrowsePersonFormat, chosen(mailPersons_));
    number(pref::ThreadTreeDisplay, chosen(treeRows_));
    for (std::size_t i = 0; i < colours_.size(); ++i) number(pref::DeleteColour + int(i), colourValues_[i]);
    for (std::size_t i = 0; i < speeds_.size(); ++i) number(pref::MergeSpeed + int(i), chosen(speeds_[i]));
    number(pref::CompletionNotice, completion_->isChecked() ? 1 : 0);
    number(pref::ExportLineWidth, lineWidth_->value());
    number(kPrefTabbedView, tabbedView_->isChecked() ? 1 : 0);
    number(kPrefPlainBackground, plainBackground_->isChecked() ? 1 : 0);
    number(kPrefFramePlacement, framePlacement_->isChecked() ? 1 : 0);
    for (std::size_t i = 0; i < fontNames_.size(); ++i) {
        const int n = pref::WindowFont + int(i);
        const QString family = fontNames_[i]->currentFont().family();
        const bool nameChanged = family != fontsShown_[i];
        const bool sizeChanged = loadedNumbers_.at(n) != fontSizes_[i]->value();
        if (nameChanged || sizeChanged) {
            texts[n] = nameChanged ? stored(family) : loadedTexts_.at(n);
            numbers[n] = fontSizes_[i]->value();
        }
    }
}

bool UserPanelWindow::checkDirectory(QLineEdit* field) {
    std::string path = stored(field->text().trimmed());
    if (ExistPath(*session_, 1, 0, path, "", true) == 1) return true;
    tabs_->setCurrentIndex(tabs_->count() - 1);
    session_->tell("This path does not exist!\r\nPlease enter a valid path\r\n", path);
    field->setFocus();
    field->selectAll();
    return false;
}

bool UserPanelWindow::save() {
    const std::string temp = stored(tempDir_->text().trimmed());
    const std::string data = stored(dataDir_->text().trimmed());
    const bool pathsChanged = temp != loadedTemp_ || data != loadedData_;
    if (pathsChanged && (!checkDirectory(tempDir_) || !checkDirectory(dataDir_))) return false;

    std::map<int, int32_t> numbers;
    std::map<int, std::string> texts;
    collect(numbers, texts);
    if (!numbers.empty() || !texts.empty()) {
        if (!savePreferenceChanges(*session_, numbers, texts)) return false;
        // The frame and the windows opened from now on work with them at once.
        PreferenceState& running = frame_.session().prefs;
        for (auto& [n, v] : numbers) running.numbers[n] = session_->prefs.numbers[n];
        for (auto& [n, v] : texts) running.texts[n] = session_->prefs.texts[n];
        for (auto& [n, v] : numbers) loadedNumbers_[n] = v;
        for (auto& [n, v] : texts) loadedTexts_[n] = v.substr(0, 20);
        for (std::size_t i = 0; i < fontNames_.size(); ++i) fontsShown_[i] = fontNames_[i]->currentFont().family();
    }
    if (pathsChanged) {
        std::string t = temp, d = data;
        (void)AutoPath(*session_, 2, 17, t);
        (void)AutoPath(*session_, 2, 18, d);
        if (!AutoPath(*session_, 4, 17, t)) return false;
        frame_.session().prefs.savedTempDir = session_->prefs.savedTempDir;
        frame_.session().prefs.savedFileDir = session_->prefs.savedFileDir;
        loadedTemp_ = temp;
        loadedData_ = data;
    }
    frame_.refreshActiveDatabase();
    return true;
}

namespace {
WindowRegistrar registrar({"UserPanel", WindowGroup::NotTools, false, 14,
                           [](Frame& f) -> QWidget* { return new UserPanelWindow(f); }});
}  // namespace

}  // namespace quill::shell
