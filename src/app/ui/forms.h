#pragma once

#include <QStringList>

class QDialog;
class QMainWindow;
class QString;
class QWidget;

namespace kelvor::app {

// Page forms are plain widgets built from resources/ui/<className>.ui. They carry no
// behaviour: the station binds to their controls by objectName.
QWidget* createPageForm(const QString& className, QWidget* parent = nullptr);

// The twelve page classes, in the order the station creates them.
QStringList pageFormNames();

// For code that has no access to the generated Ui classes (tests, tools).
void setupMainWindowForm(QMainWindow* window);
void setupAboutDialogForm(QDialog* dialog);

// Registers the icons of resources.qrc. kelvor_gui is a static library, so the linker
// drops the resource initialiser unless something references it; the form functions
// above call this themselves, other users of ":/icons/..." call it before use.
void initResources();

} // namespace kelvor::app
