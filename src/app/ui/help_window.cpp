#include "app/ui/help_window.h"

#include "base/ui/display_text.h"

#include "app/ui/forms.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>

namespace kelvor::app {

HelpWindow::HelpWindow(const QString& markdown, QWidget* parent) : QWidget(parent, Qt::Window) {
    initResources();
    setObjectName(QStringLiteral("helpWindow"));
    ui::setCaption(this, QStringLiteral("帮助 - KEL-VOR"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    resize(1000, 720);

    find_ = new QLineEdit(this);
    find_->setObjectName(QStringLiteral("helpFind"));
    ui::setCaption(find_, QStringLiteral("查找 (Enter 下一个, Shift+Enter 上一个)"));
    find_->setClearButtonEnabled(true);
    auto* previous = new QPushButton(this);
    ui::setCaption(previous, QStringLiteral("上一个"));
    auto* next = new QPushButton(this);
    ui::setCaption(next, QStringLiteral("下一个"));
    auto* findLabel = new QLabel(this);
    ui::setCaption(findLabel, QStringLiteral("查找:"));
    auto* bar = new QHBoxLayout;
    bar->addWidget(findLabel);
    bar->addWidget(find_, 1);
    bar->addWidget(previous);
    bar->addWidget(next);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("helpText"));
    // Links inside the document move within it; nothing starts another program.
    browser_->setOpenLinks(false);
    browser_->setSearchPaths({QFileInfo(markdown).path()});
    QFile file(markdown);
    if (file.open(QIODevice::ReadOnly))
        browser_->setMarkdown(QString::fromUtf8(file.readAll()));
    else
        browser_->setPlainText(ui::displayText(QStringLiteral("帮助文档缺失: ")) + markdown);
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.hasFragment() && url.path().isEmpty()) browser_->scrollToAnchor(url.fragment());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);

    connect(find_, &QLineEdit::returnPressed, this, [this] { findNext(); });
    connect(find_, &QLineEdit::textChanged, this, [this] {
        // Typing searches from the top of the current match, so the selection grows with the text.
        QTextCursor c = browser_->textCursor();
        c.setPosition(c.selectionStart());
        browser_->setTextCursor(c);
        findNext();
    });
    connect(next, &QPushButton::clicked, this, [this] { findNext(); });
    connect(previous, &QPushButton::clicked, this, [this] { findNext(true); });
    find_->installEventFilter(this);
    auto* focusFind = new QAction(this);
    focusFind->setShortcut(QKeySequence::Find);
    addAction(focusFind);
    connect(focusFind, &QAction::triggered, this, [this] { find_->setFocus(); find_->selectAll(); });
    auto* close = new QAction(this);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(close);
    connect(close, &QAction::triggered, this, &QWidget::close);
}

void HelpWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) ui::retranslate(this);
    QWidget::changeEvent(event);
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == find_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && (key->modifiers() & Qt::ShiftModifier)) {
            findNext(true);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool HelpWindow::findNext(bool backward) {
    const QString text = find_->text();
    bool found = true;
    if (!text.isEmpty()) {
        const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
        const QTextCursor before = browser_->textCursor();
        found = browser_->find(text, flags);
        if (!found) {
            QTextCursor c = before;
            c.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
            browser_->setTextCursor(c);
            found = browser_->find(text, flags);
            if (!found) browser_->setTextCursor(before);
        }
    }
    find_->setStyleSheet(found ? QString() : QStringLiteral("QLineEdit { background: #ffd6d6; }"));
    return found;
}

} // namespace kelvor::app
