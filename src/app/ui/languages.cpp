#include "app/ui/languages.h"

#include "app/station/controller.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace kelvor::app {

Languages::Languages(QObject* parent) : QObject(parent) {}

Languages::~Languages() { removeAll(); }

QString Languages::qtCatalogDir() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

void Languages::removeAll() {
    if (stationInstalled_) QCoreApplication::removeTranslator(&station_);
    if (qtInstalled_) QCoreApplication::removeTranslator(&qt_);
    stationInstalled_ = qtInstalled_ = false;
}

bool Languages::apply(const QString& language) {
    removeAll();
    const bool english = language == QLatin1String(kLanguageEnglish);
    const QString station = english ? QStringLiteral("kelvor_en") : QStringLiteral("kelvor_zh_CN");
    const bool found = station_.load(station, QStringLiteral(":/translations"));
    if (found) stationInstalled_ = QCoreApplication::installTranslator(&station_);
    // Qt's texts are English already; a desktop without the catalog shows them in English.
    if (!english && qt_.load(QStringLiteral("qtbase_zh_CN"), qtCatalogDir()))
        qtInstalled_ = QCoreApplication::installTranslator(&qt_);
    return found;
}

} // namespace kelvor::app
