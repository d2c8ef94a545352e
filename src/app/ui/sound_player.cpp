#include "app/ui/sound_player.h"

#include "app/ui/forms.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace kelvor::app {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) { initResources(); }

QString SoundPlayer::sourceOf(Sound sound) {
    return sound == Sound::Error ? QStringLiteral("qrc:/sounds/ng.wav") : QStringLiteral("qrc:/sounds/ok.wav");
}

QSoundEffect* SoundPlayer::effect(Sound sound) {
    QSoundEffect*& e = sound == Sound::Error ? ng_ : ok_;
    if (!e) {
        e = new QSoundEffect(this);
        e->setSource(QUrl(sourceOf(sound)));
    }
    return e;
}

void SoundPlayer::preload() {
    if (QMediaDevices::defaultAudioOutput().isNull()) return;
    effect(Sound::Error);
    effect(Sound::Default);
}

bool SoundPlayer::play(Sound sound) {
    if (QMediaDevices::defaultAudioOutput().isNull()) return false;
    QSoundEffect* e = effect(sound);
    // A verdict right after another cuts the older sound short rather than queueing behind it.
    if (e->isPlaying()) e->stop();
    e->play();
    return true;
}

} // namespace kelvor::app
