#pragma once
// The OK and NG sounds (resources/sounds, made by make.sh there), played through Qt Multimedia.
// Without an audio output (a headless PC, CI) playing does nothing: a missing sound card never
// stops a burn or a test.
#include "base/station/prompter.h"

#include <QObject>

class QSoundEffect;

namespace kelvor::app {

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);

    // Loads both sounds now when an output is there, so the first verdict sounds without delay.
    void preload();
    // Error: the NG sound; Default: the OK sound. False when no audio output was there to play it.
    bool play(Sound sound);
    static QString sourceOf(Sound sound);

private:
    // Made at the first sound played with an output present, so a station without audio never
    // opens the audio system.
    QSoundEffect* effect(Sound sound);

    QSoundEffect* ok_ = nullptr;
    QSoundEffect* ng_ = nullptr;
};

} // namespace kelvor::app
