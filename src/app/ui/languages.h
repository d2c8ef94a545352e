#pragma once
// The window's translations. Chinese is the station's own language: its captions need no catalog,
// but the few texts written in English (the simulator's fault list) and Qt's own dialogs and
// buttons do. English translates every caption the window shows.
#include <QObject>
#include <QString>
#include <QTranslator>

namespace kelvor::app {

class Languages : public QObject {
    Q_OBJECT
public:
    explicit Languages(QObject* parent = nullptr);
    ~Languages() override;

    // Installs the catalogs of `language` (kLanguageChinese or kLanguageEnglish) in place of the
    // current ones; every widget then receives a LanguageChange. False when the station's catalog
    // is missing, in which case the window keeps the station's own texts.
    bool apply(const QString& language);

    // Where Qt's own catalogs are looked for (Qt's translations folder).
    static QString qtCatalogDir();

private:
    void removeAll();

    QTranslator station_;
    QTranslator qt_;
    bool stationInstalled_ = false;
    bool qtInstalled_ = false;
};

} // namespace kelvor::app
