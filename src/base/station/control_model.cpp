#include "base/station/control_model.h"

namespace kelvor {

PageModel::PageModel(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

const ControlState& PageModel::state(const QString& key) const {
    static const ControlState empty;
    auto it = controls_.constFind(key);
    return it == controls_.constEnd() ? empty : *it;
}

QString PageModel::currentText(const QString& key) const {
    const ControlState& s = state(key);
    if (s.current >= 0 && s.current < s.items.size()) return s.items.at(s.current);
    return s.text;
}

void PageModel::setText(const QString& key, const QString& text) {
    auto& s = mut(key);
    if (s.text == text) return;
    s.text = text;
    emit changed(key);
}

void PageModel::setEnabled(const QString& key, bool on) {
    auto& s = mut(key);
    if (s.enabled == on) return;
    s.enabled = on;
    emit changed(key);
}

void PageModel::setVisible(const QString& key, bool on) {
    auto& s = mut(key);
    if (s.visible == on) return;
    s.visible = on;
    emit changed(key);
}

void PageModel::setChecked(const QString& key, bool on) {
    auto& s = mut(key);
    if (s.checked == on) return;
    s.checked = on;
    emit changed(key);
}

void PageModel::setItems(const QString& key, const QStringList& items) {
    auto& s = mut(key);
    s.items = items;
    if (s.current >= items.size()) s.current = -1;
    emit changed(key);
}

void PageModel::setCurrent(const QString& key, int index) {
    auto& s = mut(key);
    if (index >= 0 && index < s.items.size()) {
        s.current = index;
        s.text = s.items.at(index);
    } else if (s.items.isEmpty() && index >= 0) {
        s.current = index; // progress bars keep their position here
    } else {
        s.current = -1;
    }
    emit changed(key);
}

void PageModel::setDropWidth(const QString& key, int px) {
    auto& s = mut(key);
    if (s.dropWidth == px) return;
    s.dropWidth = px;
    emit changed(key);
}

void PageModel::setImage(const QString& key, const QString& image) {
    auto& s = mut(key);
    if (s.image == image) return;
    s.image = image;
    emit changed(key);
}

void PageModel::setPageVisible(bool on) {
    if (pageVisible_ == on) return;
    pageVisible_ = on;
    emit pageVisibilityChanged(on);
}

void PageModel::click(const QString& key) {
    emit clicked(key);
}

void PageModel::check(const QString& key, bool on) {
    setChecked(key, on);
    emit clicked(key);
}

void PageModel::choose(const QString& key, int index) {
    setCurrent(key, index);
    emit chosen(key, index);
}

void PageModel::edit(const QString& key, const QString& text) {
    setText(key, text);
    emit edited(key);
}

void PageModel::confirm(const QString& key) { emit confirmed(key); }

void PageModel::leave(const QString& key) { emit left(key); }

void PageModel::setCharFilter(const QString& key, CharFilter filter) { filters_.insert(key, std::move(filter)); }

CharVerdict PageModel::filterChar(const QString& key, const QString& text, int selStart, int selEnd, QChar ch) const {
    auto it = filters_.constFind(key);
    if (it == filters_.constEnd()) return {};
    return (*it)(text, selStart, selEnd, ch);
}

} // namespace kelvor
