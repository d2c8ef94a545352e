#include "app/station/station_dirs.h"

#include "install_dirs.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kelvor {
namespace {

// <prefix> of a program installed in <prefix>/<bindir>.
QString installPrefix(const QString& programDir) {
    QString up;
    for (const auto& part : QString(KELVOR_INSTALL_BINDIR).split('/', Qt::SkipEmptyParts)) {
        (void)part;
        up += QStringLiteral("/..");
    }
    return QDir::cleanPath(programDir + up);
}

// $XDG_…_HOME/kelvor, made when missing: the settings store and the log only open files.
QString userDir(QStandardPaths::StandardLocation location) {
    const QString dir = QStandardPaths::writableLocation(location) + QStringLiteral("/kelvor");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

QStringList StationDirs::notes() const {
    if (!installed) return {};
    return {QStringLiteral("设置文件: ") + QDir::toNativeSeparators(settingsFile),
            QStringLiteral("日志与记录: ") + QDir::toNativeSeparators(recordsDir)};
}

StationDirs stationDirs(const QString& programDir, const std::filesystem::path& logFile) {
    StationDirs d;
    const QString prefix = installPrefix(programDir);
    const QString shared = prefix + QStringLiteral("/" KELVOR_INSTALL_DATADIR);
    const bool hasShared = QFileInfo(shared + QStringLiteral("/rfpwm.hex")).isFile();
    // A root-run installed station could write its program folder; the shared folder still says
    // it is installed.
    d.installed = hasShared || !QFileInfo(programDir).isWritable();
    if (!d.installed) {
        d.settingsFile = QDir(programDir).filePath(QStringLiteral("KELVOR.ini"));
        d.logFile = logFile;
        d.recordsDir = QDir::currentPath();
        d.sampleDir = programDir;
        d.libraryDir = programDir;
        return d;
    }
    d.settingsFile = userDir(QStandardPaths::GenericConfigLocation) + QStringLiteral("/KELVOR.ini");
    d.recordsDir = userDir(QStandardPaths::GenericDataLocation);
    d.logFile = logFile.is_relative() ? std::filesystem::path(d.recordsDir.toStdString()) / logFile : logFile;
    d.sampleDir = hasShared ? shared : programDir;
    d.libraryDir = hasShared ? prefix + QStringLiteral("/" KELVOR_INSTALL_PLUGINDIR) : programDir;
    return d;
}

} // namespace kelvor
