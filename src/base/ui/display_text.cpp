#include "base/ui/display_text.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QVariant>
#include <QWidget>

namespace kelvor::ui {
namespace {

constexpr char kSourceProperty[] = "kelvorCaption";

bool isCjk(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFF00 && u <= 0xFFEF);
}

QString translated(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return QCoreApplication::translate(kTextContext, utf8.constData());
}

void show(QObject* object, const QString& text) {
    if (auto* menu = qobject_cast<QMenu*>(object)) menu->setTitle(text);
    else if (auto* action = qobject_cast<QAction*>(object)) action->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(object)) button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(object)) label->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(object)) group->setTitle(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(object)) edit->setPlaceholderText(text);
    else if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->isWindow()) widget->setWindowTitle(text);
}

} // namespace

bool hasCjk(const QString& text) {
    for (QChar c : text)
        if (isCjk(c)) return true;
    return false;
}

QString displayText(const QString& text) {
    if (text.isEmpty()) return text;
    const QString whole = translated(text);
    if (whole != text || !hasCjk(text)) return whole;
    // A counted caption ("ID错误:12个") is in the catalog with its numbers as %1, %2, ...
    QStringList numbers;
    QString pattern;
    for (qsizetype i = 0; i < text.size();) {
        if (!text.at(i).isDigit() || text.at(i).unicode() > 0x7F) {
            pattern += text.at(i++);
            continue;
        }
        qsizetype j = i;
        while (j < text.size() && text.at(j).isDigit() && text.at(j).unicode() <= 0x7F) ++j;
        numbers << text.mid(i, j - i);
        pattern += QLatin1Char('%') + QString::number(numbers.size());
        i = j;
    }
    if (!numbers.isEmpty() && numbers.size() <= 9) {
        QString shown = translated(pattern);
        if (shown != pattern) {
            for (qsizetype n = numbers.size(); n >= 1; --n)
                shown.replace(QLatin1Char('%') + QString::number(n), numbers.at(n - 1));
            return shown;
        }
    }
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        qsizetype j = i;
        const bool cjk = isCjk(text.at(i));
        while (j < text.size() && isCjk(text.at(j)) == cjk) ++j;
        const QString part = text.mid(i, j - i);
        out += cjk ? translated(part) : part;
        i = j;
    }
    return out;
}

void setCaption(QObject* object, const QString& source) {
    object->setProperty(kSourceProperty, source);
    show(object, displayText(source));
}

void retranslate(QObject* root) {
    auto apply = [](QObject* o) {
        const QVariant source = o->property(kSourceProperty);
        if (source.isValid()) show(o, displayText(source.toString()));
    };
    apply(root);
    for (QObject* o : root->findChildren<QObject*>()) apply(o);
}

} // namespace kelvor::ui
