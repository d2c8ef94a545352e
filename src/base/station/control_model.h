#pragma once
// Headless models of the window's controls. Every page and the main window are a PageModel: a set
// of control states keyed by the widget's objectName ("c1042" for control 1042). The station's logic
// reads and writes these; the Qt views mirror them and feed operator actions back in. The CLI and the
// tests drive the same models without any widget.
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace kelvor {

struct ControlState {
    QString text;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    QStringList items; // list entries
    int current = -1;  // selected entry, or the position of a progress bar
    int dropWidth = 0; // drop-down width in pixels, 0 = natural
    QString image;     // image resource of an image button
};

// What a character filter decides for one typed character.
struct CharVerdict {
    enum class Kind { Accept, AcceptAs, Drop, Refuse } kind = Kind::Accept;
    QChar replacement;  // AcceptAs
    QString balloon;    // Refuse: balloon tip text (title "提示")
};
// (current text, selection start, selection end, typed character) -> verdict
using CharFilter = std::function<CharVerdict(const QString&, int, int, QChar)>;

// One change of a text field as the operator makes it, whatever the way (a key, a paste, a drop,
// Enter, an input method, a script): the selection [selStart, selEnd) of the current text is
// replaced by `inserted`; an empty `inserted` is a deletion.
struct TextInput {
    int selStart = 0;
    int selEnd = 0;
    QString inserted;
};
// The field after its filter has seen the change.
struct InputOutcome {
    QString text;
    int selStart = 0; // the selection afterwards; equal ends are a caret
    int selEnd = 0;
    QString balloon;  // a refusal's balloon tip (title "提示"), empty when none
};
// (current text, change) -> outcome
using InputFilter = std::function<InputOutcome(const QString&, const TextInput&)>;

// The change that turns `before` into `after`. A hint selection that explains the change exactly
// is taken as it is; otherwise the smallest differing span is.
TextInput changeBetween(const QString& before, const QString& after, int hintStart = -1, int hintEnd = -1);
// A character filter over a whole change: each inserted character in turn, as if typed where the
// caret then stands (the first one with the selection); a deletion is asked as one backspace. A
// backspace inside inserted text is a key, not text, and never gets in. The balloon is the first
// refusal's.
InputOutcome filterByCharacter(const CharFilter& filter, const QString& text, const TextInput& in);

inline QString controlKey(int id) { return QStringLiteral("c%1").arg(id); }

class PageModel : public QObject {
    Q_OBJECT
public:
    explicit PageModel(QString name, QObject* parent = nullptr);

    const QString& name() const { return name_; }

    // A control that was never written reads as a default ControlState.
    const ControlState& state(const QString& key) const;
    QString text(const QString& key) const { return state(key).text; }
    bool isEnabled(const QString& key) const { return state(key).enabled; }
    bool isVisible(const QString& key) const { return state(key).visible; }
    bool isChecked(const QString& key) const { return state(key).checked; }
    int current(const QString& key) const { return state(key).current; }
    QStringList items(const QString& key) const { return state(key).items; }
    // Text of the selected entry, or the text of an editable list when nothing is selected.
    QString currentText(const QString& key) const;

    void setText(const QString& key, const QString& text);
    void setEnabled(const QString& key, bool on);
    void setVisible(const QString& key, bool on);
    void setChecked(const QString& key, bool on);
    void setItems(const QString& key, const QStringList& items);
    // Selects an entry (-1: none); an entry's text replaces the control's text.
    void setCurrent(const QString& key, int index);
    void setDropWidth(const QString& key, int px);
    void setImage(const QString& key, const QString& image);

    bool pageVisible() const { return pageVisible_; }
    void setPageVisible(bool on);

    // Operator actions, from a view, the CLI or a test. Each updates the state first (a check box
    // toggles, a list selects), then emits the matching signal for the page's logic.
    void click(const QString& key);
    // A check box set by the operator: stores the new state, then reports the click.
    void check(const QString& key, bool on);
    void choose(const QString& key, int index);
    // A whole new text, from a program or a view that only knows the result: a field with a filter
    // takes it as if the operator emptied the field and typed the text, through input().
    void edit(const QString& key, const QString& text);
    // An edit field's text confirmed with Enter; an edit field left (focus lost) without that.
    void confirm(const QString& key);
    void leave(const QString& key);
    // The operator changes a text field. Every way text gets into a field comes here, so a field's
    // filter sees typed, pasted, dropped and scripted text alike; the outcome becomes the field's
    // text, and views show its text and selection.
    InputOutcome input(const QString& key, const TextInput& change);

    // A field's filter: a character rule (each character as typed) or a rule over the whole change.
    void setCharFilter(const QString& key, CharFilter filter);
    void setInputFilter(const QString& key, InputFilter filter);
    bool hasFilter(const QString& key) const { return filters_.contains(key); }

    QStringList keys() const { return controls_.keys(); }

signals:
    void changed(const QString& key);
    void pageVisibilityChanged(bool visible);
    void clicked(const QString& key);
    void chosen(const QString& key, int index);
    void edited(const QString& key);
    void confirmed(const QString& key);
    void left(const QString& key);

private:
    ControlState& mut(const QString& key) { return controls_[key]; }

    QString name_;
    QHash<QString, ControlState> controls_;
    QHash<QString, InputFilter> filters_;
    bool pageVisible_ = false;
};

} // namespace kelvor
