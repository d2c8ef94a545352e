#include "app/ui/binder.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace kelvor;

namespace {

struct Form {
    QWidget root;
    QPushButton* button = new QPushButton("烧录", &root);
    QCheckBox* box = new QCheckBox("SLOSC", &root);
    QComboBox* list = new QComboBox(&root);
    QComboBox* editable = new QComboBox(&root);
    QLineEdit* edit = new QLineEdit(&root);
    QLabel* label = new QLabel("caption", &root);
    Form() {
        button->setObjectName("c1042");
        box->setObjectName("c1061");
        list->setObjectName("c1045");
        editable->setObjectName("c1039");
        editable->setEditable(true);
        edit->setObjectName("c1043");
        label->setObjectName("lblBatch");
    }
};

} // namespace

TEST(Binder, ModelAndWidgetsFollowEachOther) {
    Form f;
    PageModel model("page");
    model.setItems("c1045", {"a", "b", "c"});
    model.setCurrent("c1045", 1);
    app::Binder binder(model, &f.root);

    // Captions come from the form for controls the model never wrote.
    EXPECT_EQ(model.text("lblBatch"), "caption");
    EXPECT_EQ(f.list->currentText(), "b");

    model.setEnabled("c1042", false);
    model.setVisible("lblBatch", false);
    model.setText("c1043", "FFFF");
    EXPECT_FALSE(f.button->isEnabled());
    EXPECT_TRUE(f.label->isHidden());
    EXPECT_EQ(f.edit->text(), "FFFF");

    QSignalSpy clicks(&model, &PageModel::clicked);
    model.setEnabled("c1042", true);
    f.button->click();
    f.box->click();
    ASSERT_EQ(clicks.count(), 2);
    EXPECT_EQ(clicks[0][0].toString(), "c1042");
    EXPECT_TRUE(model.isChecked("c1061"));

    QSignalSpy chosen(&model, &PageModel::chosen);
    emit f.list->activated(2);
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(model.current("c1045"), 2);

    // Typing into an editable list is remembered but reported as no choice.
    f.editable->setEditText("typed.hex");
    EXPECT_EQ(model.text("c1039"), "typed.hex");
    EXPECT_EQ(chosen.count(), 1);
}

TEST(Binder, CharacterFiltersDecideEachKey) {
    Form f;
    PageModel model("page");
    model.setCharFilter("c1043", [](const QString& text, int, int, QChar ch) {
        if (ch == QChar(8)) return CharVerdict{};
        if (ch == 'x') return CharVerdict{CharVerdict::Kind::Refuse, {}, "no x"};
        if (ch == 'a') return CharVerdict{CharVerdict::Kind::AcceptAs, QChar('A'), {}};
        if (text.size() >= 3) return CharVerdict{CharVerdict::Kind::Drop, {}, {}};
        return CharVerdict{};
    });
    app::Binder binder(model, &f.root);
    QTest::keyClicks(f.edit, "1ax23");
    EXPECT_EQ(f.edit->text(), "1A2");
    EXPECT_EQ(model.text("c1043"), "1A2");
    QTest::keyClick(f.edit, Qt::Key_Backspace);
    EXPECT_EQ(f.edit->text(), "1A");
}

// Regression: a paste, a line break or a drop went round the character filter.
TEST(Binder, PastedDroppedAndEnteredTextPassesTheFilter) {
    QWidget root;
    auto* line = new QLineEdit(&root);
    line->setObjectName("c1043");
    auto* plain = new QPlainTextEdit(&root);
    plain->setObjectName("c1140");
    new QVBoxLayout(&root);
    root.layout()->addWidget(line);
    root.layout()->addWidget(plain);
    PageModel model("page");
    // Digits as typed, a-f upper-cased, everything else refused.
    const CharFilter hex = [](const QString&, int, int, QChar ch) {
        if (ch == QChar(8) || ch.isDigit()) return CharVerdict{};
        if (ch >= 'a' && ch <= 'f') return CharVerdict{CharVerdict::Kind::AcceptAs, ch.toUpper(), {}};
        return CharVerdict{CharVerdict::Kind::Refuse, {}, "no"};
    };
    model.setCharFilter("c1043", hex);
    model.setCharFilter("c1140", hex);
    app::Binder binder(model, &root);
    root.show();

    QGuiApplication::clipboard()->setText("1ax2");
    line->setFocus();
    QTest::keySequence(line, QKeySequence::Paste);
    EXPECT_EQ(line->text(), "1A2");
    line->setCursorPosition(1);
    line->insert("b9z"); // the context menu's paste takes this road
    EXPECT_EQ(line->text(), "1B9A2");
    EXPECT_EQ(line->cursorPosition(), 3);
    EXPECT_EQ(model.text("c1043"), "1B9A2");

    plain->setFocus();
    QTest::keyClicks(plain, "12");
    QTest::keyClick(plain, Qt::Key_Return);
    QTest::keyClick(plain, Qt::Key_Tab);
    EXPECT_EQ(plain->toPlainText(), "12");
    QGuiApplication::clipboard()->setText("3\r\n4");
    QTest::keySequence(plain, QKeySequence::Paste);
    EXPECT_EQ(plain->toPlainText(), "1234");
    auto* mime = new QMimeData;
    mime->setText("5z c");
    QTextCursor end(plain->document());
    end.movePosition(QTextCursor::End);
    const QPoint at = plain->cursorRect(end).center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(plain->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(plain->viewport(), &move);
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(plain->viewport(), &drop);
    EXPECT_EQ(plain->toPlainText(), "12345C");
    EXPECT_EQ(model.text("c1140"), plain->toPlainText());
    delete mime;
}
