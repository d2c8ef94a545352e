// The main window's views: page switch on a tab change, the file chooser and the file list.
#include "base/settings_lists.h"
#include "app/station/controller.h"

#include <QFileInfo>

namespace kelvor {
namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

const char* const kOfflineHelp =
    "1.通过对话框打开需要脱机烧录的以.hex为结尾的MCU程序;\r\n\t2.请点击脱机烧录按钮，等待脱机烧录成功; \r\n\t3.可以脱机烧录了";
const char* const kFirmwareHelp =
    "1.通过对话框打开需要更新以.bin为结尾的固件;\r\n\t2.请点击使能固件更新按钮，等待LCD显示Bootloader "
    "Run字符;\r\n\t3.请点击更新固件按钮，等待固件更新成功 ";

bool isFirmwareFile(const QString& path) { return path.endsWith(QStringLiteral("bin"), Qt::CaseSensitive); }

// The current path and its recent list, written at once (image or firmware keys).
void storeChoice(Settings& s, bool firmware, const QString& path, const std::vector<std::string>& list) {
    s.writeText("KELVOR", firmware ? "FileOpenPath_bin" : "FileOpenPath", path.toStdString());
    s.writeText("OpenFile", firmware ? "FileCountBin" : "FileCountHex", std::to_string(list.size()));
    s.writeText("OpenFile", firmware ? "FilePathBin" : "FilePathHex", joinRecentFiles(list));
}

} // namespace

bool CQORVENDlg::onFirmwareTab() {
    return pageTab[3] >= 0 && mainModel().current(controlKey(1008)) == pageTab[3];
}

void CQORVENDlg::switchPage(int tab) {
    PageModel& main = mainModel();
    main.setItems(controlKey(1039), {});

    if (qcMode) {
        const QString* qcPages[3] = {&page::kQcTest, &page::kQcConfig, &page::kQcComm};
        for (int i = 0; i < 3; ++i) page(*qcPages[i]).setPageVisible(i == tab);
        return;
    }

    int target = -1;
    for (int p = 0; p < 8; ++p) {
        if (pageTab[static_cast<std::size_t>(p)] == tab) {
            target = p;
            break;
        }
    }
    if (target < 0) return;
    showPageIndex(target);

    const bool firmware = target == 3;
    imagePath = QString::fromStdString(settings_.readText("KELVOR", firmware ? "FileOpenPath_bin" : "FileOpenPath"));
    main.setText(controlKey(1039), imagePath);
    fillFileList(firmware ? recentBin : recentHex);

    switch (target) {
    case 1: sendMessage(WM_IMAGE_CHECK); break;
    case 2: log_.windowLog(kOfflineHelp); break;
    case 3:
    case 4: log_.windowLog(kFirmwareHelp); break;
    default: break;
    }
}

void CQORVENDlg::chooseFile() {
    PageModel& main = mainModel();
    const auto chosen = prompter().openFile(q("(*.bin;*.hex;*.HEX)|*.bin;*.hex;*.HEX||"), q("HEX"),
                                            main.text(controlKey(1039)), imagePath);
    if (!chosen) return;
    takeFile(*chosen);
}

bool CQORVENDlg::takeFile(const QString& path) {
    const bool firmwareTab = onFirmwareTab();
    if (firmwareTab != isFirmwareFile(path)) {
        prompter().messageBox(q("KEL-VOR"), q(firmwareTab ? "请选择.bin文件" : "请选择.hex文件"), BoxButtons::Ok,
                              BoxIcon::None);
        return false;
    }
    imagePath = path;
    mainModel().setText(controlKey(1039), path);
    auto& list = firmwareTab ? recentBin : recentHex;
    addToRecent(list, path.toStdString());
    fillFileList(list);
    storeChoice(settings_, firmwareTab, path, list);
    return true;
}

void CQORVENDlg::confirmTypedPath() {
    PageModel& main = mainModel();
    const QString typed = main.text(controlKey(1039)).trimmed();
    // A path typed and confirmed is a choice like the chooser's: it must name an existing file
    // of the tab's kind, and then it is what the next job burns.
    if (typed != imagePath) {
        if (QFileInfo(typed).isFile())
            takeFile(QFileInfo(typed).absoluteFilePath());
        else
            prompter().messageBox(q("KEL-VOR"), q("文件不存在,请重新选择!"), BoxButtons::Ok, BoxIcon::None);
    }
    // The bar shows the file that will be burnt, whatever was typed.
    main.setText(controlKey(1039), imagePath);
}

void CQORVENDlg::chooseListEntry(int index) {
    const bool firmwareTab = onFirmwareTab();
    auto& list = firmwareTab ? recentBin : recentHex;
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return;
    const QString chosen = QString::fromStdString(list[static_cast<std::size_t>(index)]);
    moveToFront(list, static_cast<std::size_t>(index));
    imagePath = chosen;
    fillFileList(list);
    storeChoice(settings_, firmwareTab, chosen, list);
}

} // namespace kelvor
