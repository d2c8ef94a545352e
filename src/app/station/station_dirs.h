#pragma once
// Where the station keeps its files: the one place that decides it.
//
// Run from its own folder (a build, a copied folder) the station keeps KELVOR.ini beside the
// program and zep.log in the working directory. Installed (the shared data folder
// <prefix>/share/kelvor exists beside <prefix>/bin, or the program folder cannot be written) it
// keeps them in the user's folders: KELVOR.ini in $XDG_CONFIG_HOME/kelvor, zep.log and the records
// in $XDG_DATA_HOME/kelvor; the sample image comes from the shared data folder and the vendor
// library is looked for in <prefix>/<libdir>/kelvor.
#include <QString>
#include <QStringList>

#include <filesystem>

namespace kelvor {

struct StationDirs {
    bool installed = false;
    QString settingsFile;           // KELVOR.ini
    std::filesystem::path logFile;  // zep.log
    QString recordsDir;             // what the station records besides zep.log
    QString sampleDir;              // rfpwm.hex and the example images
    QString libraryDir;             // where libusbio.so is looked for in auto mode

    // Window log lines that tell an installed station's operator where its files are; none for a
    // station run from its own folder.
    QStringList notes() const;
};

// `logFile` is the log the caller asked for; an installed station moves a relative one into the
// user's data folder.
StationDirs stationDirs(const QString& programDir, const std::filesystem::path& logFile);

} // namespace kelvor
