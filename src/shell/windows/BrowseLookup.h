// The lookup lists of the browses: threads, sections, persons, key words or
// topics, read a page at a time from the text the user types.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "browse/BrowseView.h"

class QLineEdit;
class QListWidget;

namespace quill::shell {

class BrowseLookup : public QDialog {
    Q_OBJECT
public:
    BrowseLookup(Session& s, LookupKind kind, const QString& caption, QWidget* parent = nullptr);
    ~BrowseLookup() override;
    // The chosen entry's identifier, 0 when none.
    uint32_t chosenId() const { return chosen_; }
    QString chosenText() const { return chosenText_; }
    // The list as shown (for tests).
    QListWidget* list() const { return list_; }
    QLineEdit* typed() const { return typed_; }

private:
    void reload();
    void more();
    void choose();

    LookupList lookup_;
    QLineEdit* typed_;
    QListWidget* list_;
    std::vector<LookupEntry> entries_;
    bool atEnd_ = false;
    uint32_t chosen_ = 0;
    QString chosenText_;
};

}  // namespace quill::shell
