// The preferences window: date and time formats, how persons and thread
// tree rows are shown, colours, fonts, the speeds of the long runs, the
// export line width and the directories. Saving writes only what the user
// changed, into the preference records as they stand, and tells the frame.
#pragma once

#include <QColor>
#include <array>
#include <map>
#include <memory>
#include <string>

#include "database/Session.h"
#include "shell/windows/WindowSupport.h"

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace quill::shell {

class Frame;

class UserPanelWindow : public PlainWindow {
    Q_OBJECT
public:
    explicit UserPanelWindow(Frame& frame);
    ~UserPanelWindow() override;

    QTabWidget* tabs() const { return tabs_; }
    QComboBox* dateFormat() const { return dateFormat_; }
    QComboBox* timeFormat() const { return timeFormat_; }
    QSpinBox* lineWidth() const { return lineWidth_; }
    QCheckBox* tabbedView() const { return tabbedView_; }
    QCheckBox* plainBackground() const { return plainBackground_; }
    QCheckBox* framePlacement() const { return framePlacement_; }
    // The size boxes of the window, list, form and message text fonts.
    QSpinBox* fontSize(std::size_t i) const { return fontSizes_.at(i); }
    QComboBox* speed(int preference) const { return speeds_.at(std::size_t(preference - 26)); }
    QLineEdit* tempDir() const { return tempDir_; }
    QLineEdit* dataDir() const { return dataDir_; }
    QPushButton* colourButton(int preference) const { return colours_.at(std::size_t(preference - 22)); }
    void setColour(int preference, const QColor& c);

    // Writes the changes; false (the window stays open) when a directory
    // does not exist or a record could not be written.
    bool save();

private:
    QWidget* datesPage();
    QWidget* displayPage();
    QWidget* speedsPage();
    QWidget* exportPage();
    QWidget* pathsPage();
    void load();
    void showSamples();
    void collect(std::map<int, int32_t>& numbers, std::map<int, std::string>& texts) const;
    bool checkDirectory(QLineEdit* field);

    Frame& frame_;
    std::unique_ptr<Session> session_;
    QTabWidget* tabs_ = nullptr;
    QComboBox* dateFormat_ = nullptr;
    QComboBox* listDateFormat_ = nullptr;
    QComboBox* timeFormat_ = nullptr;
    QLabel* sample_ = nullptr;
    QComboBox* messagePersons_ = nullptr;
    QComboBox* mailPersons_ = nullptr;
    QComboBox* treeRows_ = nullptr;
    std::array<QPushButton*, 4> colours_{};
    std::array<int32_t, 4> colourValues_{};
    std::array<QFontComboBox*, 4> fontNames_{};
    std::array<QSpinBox*, 4> fontSizes_{};
    std::array<QComboBox*, 5> speeds_{};
    QCheckBox* completion_ = nullptr;
    QCheckBox* tabbedView_ = nullptr;
    QCheckBox* plainBackground_ = nullptr;
    QCheckBox* framePlacement_ = nullptr;
    QSpinBox* lineWidth_ = nullptr;
    QLineEdit* tempDir_ = nullptr;
    QLineEdit* dataDir_ = nullptr;
    // The values as they were read when the window opened.
    std::map<int, int32_t> loadedNumbers_;
    std::map<int, std::string> loadedTexts_;
    std::string loadedTemp_, loadedData_;
    // The font each font box showed after loading: a stored font the system
    // lacks is shown as its substitute, which is no change of the user's.
    std::array<QString, 4> fontsShown_;
};

}  // namespace quill::shell
