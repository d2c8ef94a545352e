#include "app/ui/binder.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
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
        QStringList current;
        for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
        if (current != st.items) {
            combo->clear();
            combo->addItems(st.items);
        }
        combo->setCurrentIndex(st.current);
        if (combo->isEditable() && (st.current < 0 || combo->currentText() != st.text)) combo->setEditText(st.text);
        if (st.dropWidth > 0) combo->view()->setMinimumWidth(st.dropWidth);
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        check->setChecked(st.checked);
        if (!st.text.isEmpty()) check->setText(st.text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (!st.image.isEmpty())
            button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(st.image)));
        else if (!st.text.isEmpty())
            button->setText(st.text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != st.text) edit->setText(st.text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        if (plain->toPlainText() != st.text) plain->setPlainText(st.text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(st.text);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(st.text);
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
        connect(edit, &QLineEdit::textEdited, this, [this, key](const QString& text) { model_.edit(key, text); });
        edit->installEventFilter(this);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        connect(plain, &QPlainTextEdit::textChanged, this, [this, key, plain] {
            if (!applying_ && !plain->isReadOnly()) model_.edit(key, plain->toPlainText());
        });
        plain->installEventFilter(this);
    } else if (auto* date = qobject_cast<QDateEdit*>(w)) {
        connect(date, &QDateEdit::dateChanged, this, [this, key](const QDate& d) {
            if (!applying_) model_.edit(key, d.toString(Qt::ISODate));
        });
    }
}

bool Binder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && comboEdits_.contains(watched)) {
        // The list's own popup takes the focus only for a moment.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) model_.leave(comboEdits_.value(watched));
        return false;
    }
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* w = qobject_cast<QWidget*>(watched);
    const QString key = w ? w->objectName() : QString();
    if (!model_.hasCharFilter(key)) return QObject::eventFilter(watched, event);
    auto* ke = static_cast<QKeyEvent*>(event);
    QChar ch;
    if (ke->key() == Qt::Key_Backspace)
        ch = QChar(8);
    else if (!ke->text().isEmpty() && ke->text().at(0).isPrint())
        ch = ke->text().at(0);
    else
        return false; // navigation and shortcuts (paste included) are not checked

    QString text;
    int s = 0, e = 0;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        text = edit->text();
        s = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        e = edit->hasSelectedText() ? edit->selectionEnd() : s;
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        text = plain->toPlainText();
        s = plain->textCursor().selectionStart();
        e = plain->textCursor().selectionEnd();
    }
    const CharVerdict v = model_.filterChar(key, text, s, e, ch);
    switch (v.kind) {
    case CharVerdict::Kind::Accept: return false;
    case CharVerdict::Kind::Drop: return true;
    case CharVerdict::Kind::Refuse: showBalloon(w, v.balloon); return true;
    case CharVerdict::Kind::AcceptAs:
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->insert(QString(v.replacement));
            model_.edit(key, edit->text());
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
            plain->insertPlainText(QString(v.replacement));
        }
        return true;
    }
    return false;
}

void Binder::showBalloon(QWidget* w, const QString& text) {
    QToolTip::showText(w->mapToGlobal(QPoint(0, w->height())), QStringLiteral("<b>提示</b><br>%1").arg(text.toHtmlEscaped()), w);
}

} // namespace kelvor::app
