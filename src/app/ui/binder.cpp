#include "app/ui/binder.h"

#include "base/ui/display_text.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextCursor>
#include <QToolButton>
#include <QToolTip>

namespace kelvor::app {

namespace {

struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
};

QString widgetText(QWidget* w) {
    if (auto* c = qobject_cast<QCheckBox*>(w)) return c->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    return {};
}

} // namespace

Binder::Binder(PageModel& model, QWidget* root, QObject* parent, const QStringList& skip)
    : QObject(parent), model_(model), root_(root) {
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        const QString key = w->objectName();
        if (key.isEmpty() || key.startsWith(QLatin1String("qt_"))) continue;
        // A skipped widget takes its whole subtree with it (the tab area holds other forms).
        bool skipped = false;
        for (QWidget* p = w; p && p != root; p = p->parentWidget())
            if (skip.contains(p->objectName())) skipped = true;
        if (!skipped) widgets_.insert(key, w);
    }
    const QStringList known = model_.keys();
    for (auto it = widgets_.cbegin(); it != widgets_.cend(); ++it) {
        if (!known.contains(it.key())) seed(it.key(), it.value());
        apply(it.key());
        connectWidget(it.key(), it.value());
    }
    connect(&model_, &PageModel::changed, this, [this](const QString& key) {
        if (!applying_) apply(key);
    });
    // A language switch reaches every widget; the captions are shown again in the new language.
    root->installEventFilter(this);
}

void Binder::applyAll() {
    for (auto it = widgets_.cbegin(); it != widgets_.cend(); ++it) apply(it.key());
}

void Binder::seed(const QString& key, QWidget* w) {
    Guard g(applying_);
    const QString text = widgetText(w);
    if (!text.isEmpty()) model_.setText(key, text);
    if (auto* c = qobject_cast<QCheckBox*>(w)) model_.setChecked(key, c->isChecked());
    model_.setEnabled(key, w->isEnabledTo(w->parentWidget() ? w->parentWidget() : w));
    model_.setVisible(key, !w->isHidden());
}

void Binder::apply(const QString& key) {
    QWidget* w = widgets_.value(key);
    if (!w) return;
    Guard g(applying_);
    const ControlState& st = model_.state(key);
    w->setEnabled(st.enabled);
    if (w->isHidden() == st.visible) w->setVisible(st.visible);

    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // A list the operator only chooses from shows its entries as captions; an editable one
        // holds names and paths, shown as they are.
        QStringList shown = st.items;
        if (!combo->isEditable())
            for (QString& item : shown) item = ui::displayText(item);
        QStringList current;
        for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
        if (current != shown) {
            combo->clear();
            combo->addItems(shown);
        }
        combo->setCurrentIndex(st.current);
        if (combo->isEditable() && (st.current < 0 || combo->currentText() != st.text)) combo->setEditText(st.text);
        if (st.dropWidth > 0) combo->view()->setMinimumWidth(st.dropWidth);
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        check->setChecked(st.checked);
        if (!st.text.isEmpty()) check->setText(ui::displayText(st.text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (!st.image.isEmpty()) button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(st.image)));
        if (!st.text.isEmpty()) button->setText(ui::displayText(st.text));
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != st.text) edit->setText(st.text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        if (plain->toPlainText() != st.text) plain->setPlainText(st.text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(ui::displayText(st.text));
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(ui::displayText(st.text));
    } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
        bar->setValue(std::max(0, st.current));
    } else if (auto* date = qobject_cast<QDateEdit*>(w)) {
        const QDate d = QDate::fromString(st.text, Qt::ISODate);
        if (d.isValid() && d != date->date()) date->setDate(d);
    }
}

void Binder::connectWidget(const QString& key, QWidget* w) {
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        connect(combo, &QComboBox::activated, this, [this, key](int index) { model_.choose(key, index); });
        if (combo->isEditable()) {
            connect(combo, &QComboBox::editTextChanged, this, [this, key](const QString& text) {
                if (applying_) return;
                Guard g(applying_);
                model_.setText(key, text); // remembered; only Enter makes the station act on it
            });
            connect(combo->lineEdit(), &QLineEdit::returnPressed, this, [this, key] { model_.confirm(key); });
            // The list has the focus and hands its focus events to its edit field directly.
            combo->installEventFilter(this);
            comboEdits_.insert(combo, key);
        }
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        connect(check, &QCheckBox::clicked, this, [this, key](bool on) { model_.check(key, on); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        connect(button, &QAbstractButton::clicked, this, [this, key] { model_.click(key); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        connect(edit, &QLineEdit::textEdited, this, [this, key, edit](const QString& text) {
            if (model_.hasFilter(key)) filterChange(key, edit, text);
            else model_.edit(key, text);
        });
        watchSelection(key, edit, edit);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        connect(plain, &QPlainTextEdit::textChanged, this, [this, key, plain] {
            if (applying_ || plain->isReadOnly()) return;
            if (model_.hasFilter(key)) filterChange(key, plain, plain->toPlainText());
            else model_.edit(key, plain->toPlainText());
        });
        // Keys reach the edit, the mouse and drops its viewport.
        watchSelection(key, plain, plain);
        watchSelection(key, plain, plain->viewport());
    } else if (auto* date = qobject_cast<QDateEdit*>(w)) {
        connect(date, &QDateEdit::dateChanged, this, [this, key](const QDate& d) {
            if (!applying_) model_.edit(key, d.toString(Qt::ISODate));
        });
    }
}

namespace {

std::pair<int, int> selectionOf(QWidget* w) {
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (!edit->hasSelectedText()) return {edit->cursorPosition(), edit->cursorPosition()};
        return {edit->selectionStart(), edit->selectionEnd()};
    }
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return {plain->textCursor().selectionStart(), plain->textCursor().selectionEnd()};
    return {-1, -1};
}

void showText(QWidget* w, const QString& text, int s, int e) {
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != text) edit->setText(text);
        if (s == e) edit->setCursorPosition(s);
        else edit->setSelection(s, e - s);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        if (plain->toPlainText() != text) plain->setPlainText(text);
        QTextCursor c = plain->textCursor();
        c.setPosition(std::min<int>(s, static_cast<int>(text.size())));
        c.setPosition(std::min<int>(e, static_cast<int>(text.size())), QTextCursor::KeepAnchor);
        plain->setTextCursor(c);
        plain->ensureCursorVisible();
    }
}

} // namespace

void Binder::watchSelection(const QString& key, QWidget* field, QObject* source) {
    watched_.insert(source, field);
    source->installEventFilter(this);
    selections_[key] = selectionOf(field);
}

// Every event that can change a filtered field's text reaches it through its widget or viewport
// first: the selection then is where the change begins (the paste, the typed key).
bool Binder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LanguageChange && watched == root_) {
        applyAll();
        return false;
    }
    if (event->type() == QEvent::FocusOut && comboEdits_.contains(watched)) {
        // The list's own popup takes the focus only for a moment.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) model_.leave(comboEdits_.value(watched));
        return false;
    }
    if (QWidget* field = watched_.value(watched)) {
        const QString key = field->objectName();
        if (model_.hasFilter(key)) selections_[key] = selectionOf(field);
    }
    return QObject::eventFilter(watched, event);
}

// A filtered field has changed in the widget: typed, pasted, dropped or composed. The model's filter
// decides what stays; the widget then shows the model's text and the filter's selection.
void Binder::filterChange(const QString& key, QWidget* field, const QString& after) {
    const auto [hintStart, hintEnd] = selections_.value(key, {-1, -1});
    InputOutcome out;
    {
        Guard g(applying_);
        out = model_.input(key, changeBetween(model_.text(key), after, hintStart, hintEnd));
        showText(field, model_.text(key), out.selStart, out.selEnd);
    }
    selections_[key] = selectionOf(field);
    if (!out.balloon.isEmpty()) showBalloon(field, out.balloon);
}

void Binder::showBalloon(QWidget* w, const QString& text) {
    QToolTip::showText(w->mapToGlobal(QPoint(0, w->height())), QStringLiteral("<b>%1</b><br>%2").arg(ui::displayText(QStringLiteral("提示")), ui::displayText(text).toHtmlEscaped()), w);
}

} // namespace kelvor::app
