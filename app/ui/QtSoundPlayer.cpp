#include "app/ui/QtSoundPlayer.h"

#include <QApplication>
#include <QAudioDevice>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "platform/WaveHeader.h"

namespace vask {

namespace {

// Time for the backend to open the file and the output device, and for the end to be reported, on top of
// the sound's own length.
constexpr std::int64_t kMarginMs = 5000;

}  // namespace

std::optional<std::int64_t> QtSoundPlayer::FileDurationMs(const std::string& wavePath) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(wavePath));
    // Only a regular file: opening a FIFO chosen by mistake would wait for a writer for ever.
    if (wavePath.empty() || !QFileInfo(path).isFile()) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    auto readAt = [&file](std::uint64_t offset, std::size_t count) {
        if (!file.seek(static_cast<qint64>(offset))) return std::string();
        return file.read(static_cast<qint64>(count)).toStdString();
    };
    return vask::WaveDurationMs(readAt, static_cast<std::uint64_t>(file.size()));
}

void QtSoundPlayer::PlayToEnd(const std::string& wavePath) {
    const std::optional<std::int64_t> duration = FileDurationMs(wavePath);
    // Without an output device QSoundEffect "plays" into nothing until its buffer times out; the sound
    // cannot be played, so the beep says the command has ended.
    if (!duration || QMediaDevices::defaultAudioOutput().isNull()) {
        QApplication::beep();
        return;
    }
    QSoundEffect effect;
    QEventLoop loop;
    bool started = false;
    bool failed = false;
    auto startWhenReady = [&] {
        if (effect.status() == QSoundEffect::Ready && !started) {
            started = true;
            effect.play();
        } else if (effect.status() == QSoundEffect::Error) {
            failed = true;
            loop.quit();
        }
    };
    QObject::connect(&effect, &QSoundEffect::statusChanged, &loop, startWhenReady);
    QObject::connect(&effect, &QSoundEffect::playingChanged, &loop, [&] {
        if (started && !effect.isPlaying()) loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(static_cast<int>(std::min<std::int64_t>(*duration + kMarginMs, 24 * 3600 * 1000)));

    effect.setSource(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(wavePath))));
    startWhenReady();  // a source Qt has cached is Ready at once, without a signal
    // User input waits until the sound has ended, as with the blocking call of the original platform;
    // paint and timer events still run, so the window does not turn grey.
    if (!failed) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (failed || !started) QApplication::beep();
    effect.stop();
}

}  // namespace vask
