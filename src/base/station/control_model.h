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
    void edit(const QString& key, const QString& text);
    // An edit field's text confirmed with Enter; an edit field left (focus lost) without that.
    void confirm(const QString& key);
    void leave(const QString& key);

    void setCharFilter(const QString& key, CharFilter filter);
    // Views ask before inserting a typed character; no filter accepts everything.
    CharVerdict filterChar(const QString& key, const QString& text, int selStart, int selEnd, QChar ch) const;
    bool hasCharFilter(const QString& key) const { return filters_.contains(key); }

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
    QHash<QString, CharFilter> filters_;
    bool pageVisible_ = false;
};

} // namespace kelvor
