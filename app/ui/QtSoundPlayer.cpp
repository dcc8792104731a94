#include "app/ui/QtSoundPlayer.h"

#include <QApplication>
#include <QAudioDevice>
#include <QEventLoop>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace vask {

namespace {

// Time for the backend to open the file and the output device, and for the end to be reported, on top of
// the sound's own length.
constexpr std::int64_t kMarginMs = 5000;

std::uint32_t LittleEndian32(const QByteArray& bytes, qsizetype at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

}  // namespace

std::optional<std::int64_t> QtSoundPlayer::WaveDurationMs(const std::string& wavePath) {
    QFile file(QFile::decodeName(QByteArray::fromStdString(wavePath)));
    if (wavePath.empty() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray head = file.read(12);
    if (head.size() != 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return std::nullopt;
    std::uint32_t byteRate = 0;
    // Chunks follow one another, each "id" + little-endian size + data padded to an even length.
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() != 8) break;
        const std::uint32_t size = LittleEndian32(chunk, 4);
        const qint64 dataStart = file.pos();
        if (chunk.startsWith("fmt ")) {
            const QByteArray format = file.read(16);
            if (format.size() != 16) return std::nullopt;
            byteRate = LittleEndian32(format, 8);
        } else if (chunk.startsWith("data")) {
            if (byteRate == 0) return std::nullopt;
            // A size the file does not hold (a stream written without its final size) counts as far as the
            // file goes.
            const std::int64_t held = std::min<std::int64_t>(size, file.size() - dataStart);
            return held * 1000 / byteRate;
        }
        if (!file.seek(dataStart + size + (size & 1))) break;
    }
    return std::nullopt;
}

void QtSoundPlayer::PlayToEnd(const std::string& wavePath) {
    const std::optional<std::int64_t> duration = WaveDurationMs(wavePath);
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
