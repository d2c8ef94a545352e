#include "base/station/control_model.h"

#include <algorithm>

namespace kelvor {

namespace {

// Views may report a reversed or stale selection; keep it inside the text.
void clampSelection(const QString& text, int& s, int& e) {
    const int len = static_cast<int>(text.size());
    s = std::clamp(s, 0, len);
    e = std::clamp(e, 0, len);
    if (s > e) std::swap(s, e);
}

QString replaced(const QString& text, int s, int e, const QString& put) {
    return text.left(s) + put + text.mid(e);
}

} // namespace

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
    auto it = filters_.constFind(key);
    if (it != filters_.constEnd()) {
        const QString before = this->text(key);
        const InputOutcome emptied = (*it)(before, {0, static_cast<int>(before.size()), QString()});
        const InputOutcome typed = (*it)(emptied.text, {emptied.selStart, emptied.selEnd, text});
        if (typed.text != before) {
            setText(key, typed.text);
            emit edited(key);
        }
        return;
    }
    setText(key, text);
    emit edited(key);
}

void PageModel::confirm(const QString& key) { emit confirmed(key); }

void PageModel::leave(const QString& key) { emit left(key); }

InputOutcome PageModel::input(const QString& key, const TextInput& change) {
    const QString before = text(key);
    TextInput c = change;
    clampSelection(before, c.selStart, c.selEnd);
    InputOutcome out;
    auto it = filters_.constFind(key);
    if (it != filters_.constEnd()) {
        out = (*it)(before, c);
    } else {
        out.text = replaced(before, c.selStart, c.selEnd, c.inserted);
        out.selStart = out.selEnd = c.selStart + static_cast<int>(c.inserted.size());
    }
    clampSelection(out.text, out.selStart, out.selEnd);
    if (out.text != before) {
        setText(key, out.text);
        emit edited(key);
    }
    return out;
}

void PageModel::setCharFilter(const QString& key, CharFilter filter) {
    filters_.insert(key, [f = std::move(filter)](const QString& text, const TextInput& in) {
        return filterByCharacter(f, text, in);
    });
}

void PageModel::setInputFilter(const QString& key, InputFilter filter) { filters_.insert(key, std::move(filter)); }

TextInput changeBetween(const QString& before, const QString& after, int hintStart, int hintEnd) {
    const int bl = static_cast<int>(before.size());
    const int al = static_cast<int>(after.size());
    if (hintStart >= 0 && hintStart <= hintEnd && hintEnd <= bl) {
        const int tail = bl - hintEnd;
        if (al >= hintStart + tail && QStringView(after).left(hintStart) == QStringView(before).left(hintStart) &&
            QStringView(after).right(tail) == QStringView(before).right(tail))
            return {hintStart, hintEnd, after.mid(hintStart, al - hintStart - tail)};
    }
    const int limit = std::min(bl, al);
    int head = 0;
    while (head < limit && before[head] == after[head]) ++head;
    int tail = 0;
    while (tail < limit - head && before[bl - 1 - tail] == after[al - 1 - tail]) ++tail;
    return {head, bl - tail, after.mid(head, al - tail - head)};
}

InputOutcome filterByCharacter(const CharFilter& filter, const QString& text, const TextInput& in) {
    InputOutcome out{text, in.selStart, in.selEnd, {}};
    clampSelection(text, out.selStart, out.selEnd);
    using Kind = CharVerdict::Kind;
    auto apply = [&](const QString& put) {
        out.text = replaced(out.text, out.selStart, out.selEnd, put);
        out.selStart = out.selEnd = out.selStart + static_cast<int>(put.size());
    };
    if (in.inserted.isEmpty()) {
        if (out.selStart == out.selEnd) return out;
        const CharVerdict v = filter(out.text, out.selStart, out.selEnd, QChar(8));
        if (v.kind == Kind::Accept || v.kind == Kind::AcceptAs) apply(QString());
        else if (v.kind == Kind::Refuse) out.balloon = v.balloon;
        return out;
    }
    for (const QChar ch : in.inserted) {
        if (ch == QChar(8)) continue;
        const CharVerdict v = filter(out.text, out.selStart, out.selEnd, ch);
        switch (v.kind) {
        case Kind::Accept: apply(QString(ch)); break;
        case Kind::AcceptAs: apply(QString(v.replacement)); break;
        case Kind::Drop: break;
        case Kind::Refuse:
            if (out.balloon.isEmpty()) out.balloon = v.balloon;
            break;
        }
    }
    return out;
}

} // namespace kelvor
