#pragma once
// The Help window: the station's README rendered inside the station, with a find field. It needs
// no browser or viewer, so it works on a line PC without a desktop.
#include <QWidget>

class QLineEdit;
class QTextBrowser;

namespace kelvor::app {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // `markdown`: the document's resource path; pictures it names are looked up beside it.
    explicit HelpWindow(const QString& markdown = QStringLiteral(":/help/README.md"), QWidget* parent = nullptr);

    QTextBrowser* browser() const { return browser_; }
    QLineEdit* findField() const { return find_; }
    // Selects the next (or previous) match of the find field's text, from the end wrapping to the
    // start. False when the text occurs nowhere; the field then shows it.
    bool findNext(bool backward = false);

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTextBrowser* browser_ = nullptr;
    QLineEdit* find_ = nullptr;
};

} // namespace kelvor::app
