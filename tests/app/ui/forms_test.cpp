#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "app/ui/forms.h"

using namespace kelvor::app;

namespace {

enum Flag { Plain = 0, Editable = 1, ReadOnly = 2, Hidden = 4, HasIcon = 8 };

// The station binds to controls by objectName, so name, class, caption and these
// flags are what the forms promise. A null text means "not checked".
struct Control {
    const char* name;
    const char* type;
    const char* text = nullptr;
    int flags = Plain;
};

struct Form {
    const char* className;
    std::vector<Control> controls;
};

void PrintTo(const Form& form, std::ostream* os) {
    *os << form.className;
}

const std::vector<Form> kPages = {
    {"CMyISP",
     {{"c1021", "QPushButton", "烧录器连接", HasIcon},
      {"c1042", "QPushButton", "烧录"},
      {"c1052", "QPushButton", "复位"},
      {"c1030", "QToolButton", nullptr, HasIcon},
      {"c1033", "QToolButton", nullptr, HasIcon},
      {"c1041", "QGroupBox", "EP:2702 校准信息"},
      {"c1045", "QComboBox"},
      {"lblVoltage", "QLabel", "4.5v电压"},
      {"c1032", "QLineEdit", "4.500"},
      {"c1065", "QCheckBox", ""},
      {"c1046", "QGroupBox", "UID"},
      {"lblBatch", "QLabel", "批号(4Byte)"},
      {"c1043", "QLineEdit"},
      {"lblIncrement", "QLabel", "增量(4Byte)"},
      {"c1044", "QLineEdit"},
      {"c1031", "QLineEdit", "20MHz", Hidden}}},
    {"CMyFuse",
     {{"grpSize", "QGroupBox", "IO && OTP SIZE "},
      {"grpFuse", "QGroupBox", "CONFIG FUSE"},
      {"c1024", "QLabel", "IO_MODE: 18"},
      {"c1025", "QLabel", "OTP_MODE:4K"},
      {"c1026", "QLabel", "OTP_KMOD: 0"},
      {"c1027", "QLabel", "SMTEN:1"},
      {"c1028", "QLabel", "RDPIN:1"},
      {"c1029", "QLabel", "RESETE:1"},
      {"c1038", "QLabel", "CRYPTEN:1"},
      {"c1039", "QLabel", "PWRT:1"},
      {"c1035", "QLabel", "FINTOSC:20MHz"},
      {"c1040", "QLabel", "FUSE0", Hidden},
      {"c1023", "QLabel", "WDTEN:1"},
      {"c1030", "QLabel", "WDTPS: 1:128"},
      {"c1041", "QLabel", "FUSE1", Hidden},
      {"c1031", "QLabel", "LVTEN:1"},
      {"c1032", "QLabel", "LVT V: 3.6V"},
      {"c1042", "QLabel", "FUSE2", Hidden},
      {"c1033", "QLabel", "SUTEN:1"},
      {"c1034", "QLabel", "SUT: 1:128"},
      {"c1043", "QLabel", "FUSE3", Hidden},
      {"c1036", "QLabel", "CRYSTALEN:1"},
      {"c1037", "QLabel", "CRYSTAL: High Speed"},
      {"c1044", "QLabel", "FUSE4", Hidden}}},
    {"CmySTPG", {{"btnOffline", "QPushButton", "脱机烧录"}}},
    {"CmySTPG_8505",
     {{"btnMode1", "QPushButton", "烧录INIT"},
      {"btnMode2", "QPushButton", "烧录BootLoader"},
      {"btnMode3", "QPushButton", "烧录APP"},
      {"btnMode4", "QPushButton", "脱机烧录INIT"},
      {"btnMode5", "QPushButton", "脱机烧录BootLoader"},
      {"btnMode6", "QPushButton", "脱机烧录APP"}}},
    {"CmySTPG8505_OUT", {{"btnMode3", "QPushButton", "烧录APP"}, {"btnMode6", "QPushButton", "脱机烧录APP"}}},
    {"CMyBoot",
     {{"btnEnterIap", "QPushButton", "手动更新烧录固件", HasIcon},
      {"btnDownload", "QPushButton", "启动固件更新", HasIcon}}},
    {"QCTest",
     {{"c1071", "QLineEdit", nullptr, ReadOnly},
      {"c1080", "QLineEdit", nullptr, ReadOnly},
      {"c1082", "QLabel", "固件版本号"},
      {"c1072", "QLineEdit", nullptr, ReadOnly},
      {"c1083", "QLabel", "日期"},
      {"c1073", "QLineEdit", nullptr, ReadOnly},
      {"c1084", "QLabel", "芯片VDD电压"},
      {"c1075", "QLineEdit", nullptr, ReadOnly},
      {"c1090", "QLabel", "mV"},
      {"c1085", "QLabel", "****"},
      {"c1067", "QPushButton", "检测"}}},
    {"QCTestConfig",
     {{"c1091", "QComboBox"},
      {"c1079", "QLineEdit"},
      {"c1065", "QCheckBox"},
      {"c1087", "QLabel", "检测固件版本号"},
      {"c1076", "QLineEdit"},
      {"c1068", "QCheckBox"},
      {"c1088", "QLabel", "检测固件日期"},
      {"c1078", "QDateEdit"},
      {"c1070", "QCheckBox"},
      {"c1089", "QLabel", "检测电压(范围:3000~5500mv)"}}},
    {"CQCComm",
     {{"c1030", "QPushButton", "读烧录错误类型统计数据"},
      {"c1095", "QLineEdit", "ID错误:", ReadOnly},
      {"c1096", "QLineEdit", "SRAM错误:", ReadOnly},
      {"c1097", "QLineEdit", "BGR错误:", ReadOnly},
      {"c1098", "QLineEdit", "16M时钟错误:", ReadOnly},
      {"c1106", "QLineEdit", "低速1M时钟错误:", ReadOnly},
      {"c1099", "QLineEdit", "OP错误:", ReadOnly},
      {"c1100", "QLineEdit", "主区编程错误:", ReadOnly},
      {"c1101", "QLineEdit", "主区校验错误:", ReadOnly},
      {"c1102", "QLineEdit", "配置区编程错误:", ReadOnly},
      {"c1103", "QLineEdit", "配置区校验错误:", ReadOnly},
      {"c1104", "QLineEdit", "配置区编程2错误:", ReadOnly},
      {"c1105", "QLineEdit", "配置区校验2错误:", ReadOnly}}},
    {"CMySeting",
     {{"c1060", "QComboBox"},
      {"c1061", "QCheckBox", "SLOSC"},
      {"c1062", "QCheckBox", "EEPROM"},
      {"c1063", "QCheckBox", "OP"},
      {"c1064", "QLineEdit"},
      {"c1066", "QLineEdit"},
      {"c1027", "QPushButton", "EE电压写入"},
      {"c1092", "QComboBox"},
      {"c1093", "QComboBox"},
      {"c1068", "QCheckBox", "选择32M主频"},
      {"c1069", "QCheckBox", "校准主频(13.56)"},
      {"c1065", "QCheckBox", "EEPROM烧录"},
      {"c1094", "QComboBox", nullptr, Editable | ReadOnly}, // chosen, never typed
      {"c1030", "QPushButton", "..."}}},
    {"CInitConfig",
     {{"c1065", "QCheckBox", "出厂信息"},
      {"c1107", "QComboBox", nullptr, Editable | ReadOnly},
      {"c1030", "QPushButton", "..."},
      {"c1113", "QLineEdit", "1F00", ReadOnly},
      {"grpErase", "QGroupBox", "擦除配置"},
      {"c1109", "QCheckBox", "Erase Full Chip"},
      {"c1110", "QCheckBox", "Erase Sectors", Hidden},
      {"c1111", "QCheckBox", "Do not Erase", Hidden},
      {"c1112", "QLineEdit", nullptr, Hidden}}},
    {"CConfig_List",
     {{"grpIcType", "QGroupBox", "ICTYPE"},
      {"grpIcFunc1", "QGroupBox", "ICFUNC1"},
      {"grpIcFunc2", "QGroupBox", "ICFUNC2"},
      {"grpIcFunc3", "QGroupBox", "ICFUNC3"},
      {"c1128", "QComboBox"},
      {"c1129", "QComboBox"},
      {"c1065", "QCheckBox", "打印开关"},
      {"c1117", "QComboBox"},
      {"c1130", "QComboBox"},
      {"c1119", "QComboBox"},
      {"c1120", "QCheckBox", "短路保护开关"},
      {"c1121", "QCheckBox", "过压保护开关"},
      {"c1122", "QCheckBox", "D_APPLE"},
      {"c1123", "QCheckBox", "AC_APPLE"},
      {"c1127", "QComboBox"},
      {"c1126", "QComboBox"},
      {"c1131", "QComboBox"},
      {"c1139", "QCheckBox", "自定义PDO"},
      {"c1140", "QPlainTextEdit", nullptr, Hidden}}},
};

void expectControls(const QWidget& root, const std::vector<Control>& controls) {
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        const auto matches = root.findChildren<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_EQ(matches.size(), 1) << "objectName must be unique within its form";
        const QWidget* w = matches.front();
        EXPECT_STREQ(w->metaObject()->className(), c.type);
        if (c.text) {
            const char* textProperty = qobject_cast<const QGroupBox*>(w) ? "title" : "text";
            EXPECT_EQ(w->property(textProperty).toString(), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(w->isHidden(), (c.flags & Hidden) != 0);
        if (c.flags & HasIcon) {
            EXPECT_FALSE(w->property("icon").value<QIcon>().isNull());
        }
        if (auto* combo = qobject_cast<const QComboBox*>(w)) {
            EXPECT_EQ(combo->isEditable(), (c.flags & Editable) != 0);
            if (combo->lineEdit()) {
                EXPECT_EQ(combo->lineEdit()->isReadOnly(), (c.flags & ReadOnly) != 0);
            }
            EXPECT_EQ(combo->count(), 0) << "the station fills the lists";
        }
        if (auto* edit = qobject_cast<const QLineEdit*>(w)) {
            EXPECT_EQ(edit->isReadOnly(), (c.flags & ReadOnly) != 0);
        }
        if (auto* text = qobject_cast<const QPlainTextEdit*>(w)) {
            EXPECT_EQ(text->isReadOnly(), (c.flags & ReadOnly) != 0);
        }
        if (auto* date = qobject_cast<const QDateEdit*>(w)) {
            EXPECT_TRUE(date->calendarPopup());
        }
    }
}

class PageFormTest : public testing::TestWithParam<Form> {};

TEST_P(PageFormTest, HasEveryBoundControl) {
    const Form& form = GetParam();
    std::unique_ptr<QWidget> page(createPageForm(QString::fromLatin1(form.className), nullptr));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->objectName(), QString::fromLatin1(form.className));
    expectControls(*page, form.controls);
}

INSTANTIATE_TEST_SUITE_P(Pages, PageFormTest, testing::ValuesIn(kPages),
                         [](const auto& info) { return std::string(info.param.className); });

TEST(PageForms, FactoryKnowsExactlyTheTwelvePages) {
    QStringList expected;
    for (const Form& form : kPages)
        expected << QString::fromLatin1(form.className);
    const QStringList names = pageFormNames();
    EXPECT_EQ(names.size(), 12);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()), QSet<QString>(expected.begin(), expected.end()));
    EXPECT_EQ(createPageForm("CQORVENDlg", nullptr), nullptr);
    EXPECT_EQ(createPageForm("cmyisp", nullptr), nullptr);
}

TEST(MainWindowForm, ControlsMenuAndAboutBox) {
    QMainWindow window;
    setupMainWindowForm(&window);
    EXPECT_EQ(window.windowTitle(), "KEL-VOR(V1.34)");
    expectControls(window, {{"c1014", "QGroupBox", "烧录文件地址"},
                            {"c1039", "QComboBox", nullptr, Editable},
                            {"c1030", "QPushButton", "..."},
                            {"c1041", "QLabel", "CKSUM:"},
                            {"c1008", "QWidget"},
                            {"c1037", "QProgressBar"},
                            {"c1036", "QPlainTextEdit", nullptr, ReadOnly},
                            {"c1040", "QLabel"}});

    auto* tabArea = window.findChild<QWidget*>("c1008");
    ASSERT_NE(tabArea, nullptr);
    ASSERT_NE(tabArea->layout(), nullptr);
    EXPECT_EQ(tabArea->layout()->objectName(), "tabAreaLayout");
    EXPECT_TRUE(tabArea->layout()->inherits("QVBoxLayout"));
    EXPECT_EQ(tabArea->layout()->contentsMargins(), QMargins());
    auto* progress = window.findChild<QProgressBar*>("c1037");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);

    // Top-level entries in order; the Device menu is the fifth and starts empty.
    QStringList topLevel;
    for (QAction* a : window.menuBar()->actions())
        topLevel << a->text();
    EXPECT_EQ(topLevel, QStringList({"系统(S)", "帮助", "Language", "自动检测", "Device", "关于"}));
    auto* device = window.findChild<QMenu*>("menuDevice");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(window.menuBar()->actions().value(4), device->menuAction());
    EXPECT_TRUE(device->actions().isEmpty());

    struct Item {
        const char* name;
        const char* text;
        bool checkable, checked;
        const char* parent;
    };
    const Item items[] = {
        {"a32771", "启用声音提示", true, false, "系统(S)"}, {"a32775", "退出", true, true, "系统(S)"},
        {"a32776", "帮助", false, false, nullptr},          {"a32773", "Chinese", false, false, "Language"},
        {"a32774", "English", false, false, "Language"},    {"a32801", "自动检测", false, false, nullptr},
        {"a32798", "关于", false, false, nullptr},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        auto* action = window.findChild<QAction*>(item.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromUtf8(item.text));
        EXPECT_EQ(action->isCheckable(), item.checkable);
        EXPECT_EQ(action->isChecked(), item.checked);
        QWidget* host = item.parent ? nullptr : window.menuBar();
        if (item.parent)
            for (QMenu* menu : window.menuBar()->findChildren<QMenu*>())
                if (menu->title() == QString::fromUtf8(item.parent)) host = menu;
        ASSERT_NE(host, nullptr);
        EXPECT_TRUE(host->actions().contains(action));
    }

    QDialog about;
    setupAboutDialogForm(&about);
    EXPECT_EQ(about.windowTitle(), "About ZEP-ISP");
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("ZEP-ISP, Version V1.001"));
    auto* ok = about.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    about.show();
    ok->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

TEST(Icons, EveryAliasRenders) {
    initResources();
    for (const char* name : {"app", "ok", "ng", "busy", "idle", "link", "connect", "fw_enter", "fw_download"}) {
        const QString path = QString(":/icons/%1.svg").arg(name);
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(QFile::exists(path));
        const QImage image = QIcon(path).pixmap(32, 32).toImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_GT(qAlpha(image.pixel(16, 16)) + qAlpha(image.pixel(12, 20)), 0) << "drew nothing";
    }
}

} // namespace
