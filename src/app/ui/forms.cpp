#include "app/ui/forms.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QWidget>

#include "ui_AboutDialog.h"
#include "ui_CConfig_List.h"
#include "ui_CInitConfig.h"
#include "ui_CMyBoot.h"
#include "ui_CMyFuse.h"
#include "ui_CMyISP.h"
#include "ui_CMySeting.h"
#include "ui_CQCComm.h"
#include "ui_CmySTPG.h"
#include "ui_CmySTPG8505_OUT.h"
#include "ui_CmySTPG_8505.h"
#include "ui_MainWindow.h"
#include "ui_QCTest.h"
#include "ui_QCTestConfig.h"

// Q_INIT_RESOURCE declares the initialiser in the enclosing namespace, so it has to be
// expanded at global scope.
static void initKelvorResources() {
    Q_INIT_RESOURCE(resources);
}

namespace kelvor::app {
namespace {

// A list marked "chooseOnly" in its form takes its text from its entries and the chooser, never
// from typing: its edit field is read-only, and still shows the end of a long path.
void applyChooseOnly(QWidget* page) {
    for (auto* combo : page->findChildren<QComboBox*>())
        if (combo->property("chooseOnly").toBool() && combo->lineEdit()) combo->lineEdit()->setReadOnly(true);
}

template <class Form> QWidget* build(QWidget* parent) {
    auto* page = new QWidget(parent);
    Form().setupUi(page);
    applyChooseOnly(page);
    return page;
}

struct PageForm {
    const char* className;
    QWidget* (*create)(QWidget* parent);
};

constexpr PageForm kPageForms[] = {
    {"CMyISP", &build<Ui::CMyISP>},
    {"CMyFuse", &build<Ui::CMyFuse>},
    {"CmySTPG", &build<Ui::CmySTPG>},
    {"CmySTPG_8505", &build<Ui::CmySTPG_8505>},
    {"CmySTPG8505_OUT", &build<Ui::CmySTPG8505_OUT>},
    {"CMyBoot", &build<Ui::CMyBoot>},
    {"QCTest", &build<Ui::QCTest>},
    {"QCTestConfig", &build<Ui::QCTestConfig>},
    {"CQCComm", &build<Ui::CQCComm>},
    {"CMySeting", &build<Ui::CMySeting>},
    {"CInitConfig", &build<Ui::CInitConfig>},
    {"CConfig_List", &build<Ui::CConfig_List>},
};

} // namespace

void initResources() {
    static const bool done = (initKelvorResources(), true);
    (void)done;
}

QWidget* createPageForm(const QString& className, QWidget* parent) {
    initResources();
    for (const PageForm& form : kPageForms)
        if (className == QLatin1String(form.className)) return form.create(parent);
    return nullptr;
}

QStringList pageFormNames() {
    QStringList names;
    for (const PageForm& form : kPageForms)
        names << QString::fromLatin1(form.className);
    return names;
}

void setupMainWindowForm(QMainWindow* window) {
    initResources();
    Ui::MainWindow().setupUi(window);
}

void setupAboutDialogForm(QDialog* dialog) {
    initResources();
    Ui::AboutDialog().setupUi(dialog);
}

} // namespace kelvor::app
