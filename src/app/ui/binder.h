#pragma once
// Binds the widgets of one form to a PageModel by objectName: model changes show in the widgets,
// operator actions go back to the model. Pages stay thin views; the logic is in the station.
// Captions (labels, buttons, boxes, group titles, the entries of a list that is only chosen from)
// show in the window's language; fields show their text as it is.
#include "base/station/control_model.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <utility>

namespace kelvor::app {

class Binder : public QObject {
    Q_OBJECT
public:
    // Binds every named descendant of `root`. Controls the model has never written take their
    // texts from the form, so captions live in one place.
    // `skip` names widgets that have views of their own (the log pane, the tab area).
    Binder(PageModel& model, QWidget* root, QObject* parent = nullptr, const QStringList& skip = {});

    QWidget* widget(const QString& key) const { return widgets_.value(key); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply(const QString& key);
    void applyAll();
    void seed(const QString& key, QWidget* w);
    void connectWidget(const QString& key, QWidget* w);
    void showBalloon(QWidget* w, const QString& text);
    void watchSelection(const QString& key, QWidget* field, QObject* source);
    void filterChange(const QString& key, QWidget* field, const QString& after);

    PageModel& model_;
    QPointer<QWidget> root_;
    QHash<QString, QWidget*> widgets_;
    QHash<QObject*, QString> comboEdits_; // editable lists, whose typed text is confirmed or left
    bool applying_ = false;
    // Filtered text fields: the widget (or viewport) an event arrives at -> its field, and each
    // field's selection as it stood before the latest event.
    QHash<QObject*, QWidget*> watched_;
    QHash<QString, std::pair<int, int>> selections_;
};

} // namespace kelvor::app
