#include "app/ui/gui_prompter.h"

#include "base/ui/display_text.h"

#include "app/ui/forms.h"
#include "app/ui/help_window.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

namespace kelvor::app {

QString qtFileFilter(const QString& stationFilter) {
    const QStringList parts = stationFilter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

bool GuiPrompter::messageBox(const QString& caption, const QString& text, BoxButtons buttons, BoxIcon icon) {
    QMessageBox box(parent_);
    // Shown in the window's language; the station and its log keep the text as written.
    box.setWindowTitle(ui::displayText(caption));
    box.setText(ui::displayText(text));
    switch (icon) {
    case BoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    case BoxIcon::Question: box.setIcon(QMessageBox::Question); break;
    case BoxIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case BoxIcon::None: break;
    }
    box.setStandardButtons(buttons == BoxButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    const int answer = box.exec();
    return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

std::optional<QString> GuiPrompter::openFile(const QString& filter, const QString& defaultExtension,
                                             const QString& initialName, const QString& initialDir) {
    QString start = initialDir;
    if (!initialName.isEmpty())
        start = QFileInfo(initialName).isAbsolute() ? initialName
                                                    : QFileInfo(initialDir).absolutePath() + "/" + QFileInfo(initialName).fileName();
    QFileDialog dialog(parent_, QString(), start, qtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultExtension); // a name typed without one
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = dialog.selectedFiles().front();
    if (chosen.isEmpty() || !QFileInfo::exists(chosen)) return std::nullopt;
    return chosen;
}

// Without an audio output the bell is the one sound left (a PC speaker); where there is none
// either, nothing sounds and nothing waits.
void GuiPrompter::play(Sound sound) {
    if (!sounds_.play(sound)) QApplication::beep();
}

void GuiPrompter::showAbout() {
    QDialog about(parent_);
    setupAboutDialogForm(&about);
    if (auto* detail = about.findChild<QLabel*>(QStringLiteral("detailLabel"))) {
        detail->setText(ui::displayText(aboutDetail_));
        detail->setVisible(!aboutDetail_.isEmpty());
    }
    about.exec();
}

// One Help window, brought to the front when asked again; it keeps its place and find text.
void GuiPrompter::showHelp() {
    if (!help_) {
        help_ = new HelpWindow(QStringLiteral(":/help/README.md"), parent_);
        help_->setAttribute(Qt::WA_DeleteOnClose);
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

} // namespace kelvor::app
