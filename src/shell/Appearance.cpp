#include "shell/Appearance.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include "database/PreferenceNumbers.h"
#include "shell/Shell.h"
#include "shell/windows/BrowseModel.h"

namespace quill::shell {

QColor colourOf(int32_t rgb) {
    uint32_t v = uint32_t(rgb);
    return QColor(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff));
}

int32_t rgbOf(const QColor& c) { return int32_t(uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16); }

namespace {

// The font every font preference names until the user changes it: the
// platform's own font is the better choice for it here.
constexpr int kBuiltInFontSize = 8;
constexpr const char* kBuiltInFontName = "Arial";

int32_t numberOf(const PreferenceState& p, int n, int32_t fallback) {
    auto it = p.numbers.find(n);
    return it == p.numbers.end() ? fallback : it->second;
}

std::optional<QFont> fontOf(const PreferenceState& p, int n) {
    auto it = p.texts.find(n);
    std::string name = it == p.texts.end() ? std::string() : it->second;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    const int32_t size = numberOf(p, n, kBuiltInFontSize);
    if ((name.empty() || name == kBuiltInFontName) && size == kBuiltInFontSize) return std::nullopt;
    QFont f;
    if (!name.empty()) f.setFamily(shown(name));
    if (size >= 4 && size <= 72) f.setPointSize(size);
    return f;
}

void setFont(QWidget* w, const std::optional<QFont>& f) {
    if (f) w->setFont(*f);
}

}  // namespace

Appearance Appearance::fromPreferences(const PreferenceState& p) {
    Appearance a;
    a.window = fontOf(p, pref::WindowFont);
    a.list = fontOf(p, pref::ListFont);
    a.form = fontOf(p, pref::FormFont);
    a.text = fontOf(p, pref::MessageTextFont);
    a.deleted = colourOf(numberOf(p, pref::DeleteColour, 255));
    a.readOnly = colourOf(numberOf(p, pref::ReadOnlyColour, 12632256));
    a.kept = colourOf(numberOf(p, pref::KeepColour, 8388608));
    a.hit = colourOf(numberOf(p, pref::HitColour, 255));
    return a;
}

void Appearance::applyTo(QWidget* window, bool isForm) const {
    if (!window) return;
    // The window font first: the more particular fonts below override it
    // for their widgets.
    setFont(window, isForm && form ? form : this->window);
    for (QAbstractItemView* v : window->findChildren<QAbstractItemView*>()) {
        setFont(v, list);
        if (auto* m = qobject_cast<BrowseModel*>(v->model())) m->setStatusColours(kept, deleted);
    }
    // Read-only text boxes are the message text panes; their selection is
    // how a search hit is shown.
    auto pane = [this](QWidget* w) {
        setFont(w, text);
        QPalette pal = w->palette();
        pal.setColor(QPalette::Highlight, hit);
        pal.setColor(QPalette::HighlightedText, hit.lightness() > 160 ? QColor(Qt::black) : QColor(Qt::white));
        w->setPalette(pal);
    };
    for (QPlainTextEdit* e : window->findChildren<QPlainTextEdit*>())
        if (e->isReadOnly()) pane(e);
    for (QTextEdit* e : window->findChildren<QTextEdit*>())
        if (e->isReadOnly()) pane(e);
    for (QLineEdit* e : window->findChildren<QLineEdit*>()) {
        if (!e->isReadOnly()) continue;
        QPalette pal = e->palette();
        pal.setColor(QPalette::Base, readOnly);
        e->setPalette(pal);
    }
}

}  // namespace quill::shell
