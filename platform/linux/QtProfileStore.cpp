#include "platform/linux/QtProfileStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cerrno>
#include <limits>
#include <optional>
#include <utility>

#include "platform/Environment.h"
#include "settings/CodePage.h"

namespace vask {

namespace {

const QString kGroup = QStringLiteral("Profile");

QString KeyOf(const std::string& name) {
    return kGroup + u'/' + QString::fromUtf8(name.data(), name.size());
}

std::string BytesOf(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The file name's bytes as the file system has them, even when they are not valid UTF-8.
QString FileNameOf(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::optional<std::int32_t> ParseInt32(const QString& text) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string AbsoluteVariable(Environment& environment, const char* name) {
    const auto value = environment.Get(name);
    if (!value || value->empty() || (*value)[0] != '/') return std::string();
    return *value;
}

}  // namespace

QtProfileStore::QtProfileStore(std::string filePath) : filePath_(std::move(filePath)) {}

// A batch still open writes what it holds as its settings object goes (QSettings syncs when destroyed).
QtProfileStore::~QtProfileStore() = default;

std::string QtProfileStore::StandardFilePath(Environment& environment) {
    // The XDG base-directory rules ignore a relative XDG_CONFIG_HOME.
    std::string configHome = AbsoluteVariable(environment, "XDG_CONFIG_HOME");
    if (configHome.empty()) {
        std::string home = AbsoluteVariable(environment, "HOME");
        if (home.empty()) home = QFile::encodeName(QDir::homePath()).toStdString();
        configHome = home + "/.config";
    }
    while (configHome.size() > 1 && configHome.back() == '/')
        configHome.pop_back();
    return configHome + "/Velumark/Vask.conf";
}

std::unique_ptr<QtProfileStore> QtProfileStore::OpenStandard(Environment& environment) {
    return std::make_unique<QtProfileStore>(StandardFilePath(environment));
}

// A QSettings object per call, or per batch: its status() keeps the first error it ever met, so a long-lived
// object would go on reporting a failed write after the disk has room again, and a damaged file read once
// would make every later write look failed. Qt caches the parsed file between objects and re-reads it only
// when it changed on disk.

namespace {

QVariant ReadValue(const std::string& filePath, QSettings* batch, const std::string& name) {
    if (batch != nullptr) return batch->value(KeyOf(name));
    QSettings settings(FileNameOf(filePath), QSettings::IniFormat);
    return settings.value(KeyOf(name));
}

Status SyncStatus(QSettings& settings, const std::string& filePath, const std::string& what) {
    settings.sync();
    // FormatError only says that the file read before the write had lines QSettings could not parse; the
    // write itself went through (and the file is now clean).
    if (settings.status() == QSettings::AccessError) return Status::Error(EACCES, filePath, what);
    return Status::Ok();
}

}  // namespace

std::int32_t QtProfileStore::ReadInt(const std::string& name, std::int32_t defaultValue) {
    const QVariant value = ReadValue(filePath_, batch_.get(), name);
    switch (value.typeId()) {
        case QMetaType::Int:
            return value.toInt();
        case QMetaType::QString:
            return ParseInt32(value.toString()).value_or(defaultValue);
        case QMetaType::QByteArray:
            return ParseInt32(QString::fromLatin1(value.toByteArray())).value_or(defaultValue);
        default:
            // Missing, or a form no integer was written in (a list, a hand-written @Variant, ...).
            return defaultValue;
    }
}

std::string QtProfileStore::ReadString(const std::string& name, const std::string& defaultValue) {
    const QVariant value = ReadValue(filePath_, batch_.get(), name);
    switch (value.typeId()) {
        case QMetaType::QString:
            return BytesOf(value.toString().toUtf8());
        case QMetaType::QByteArray:
            return BytesOf(value.toByteArray());
        case QMetaType::Int:
            return std::to_string(value.toInt());
        case QMetaType::QStringList:
            // An unquoted comma in a hand-edited line makes QSettings split the value; put it back together.
            return BytesOf(value.toStringList().join(u',').toUtf8());
        default:
            return defaultValue;
    }
}

namespace {

Status WriteValue(const std::string& filePath, QSettings* batch, const std::string& name,
                  const QVariant& value) {
    if (batch != nullptr) {
        batch->setValue(KeyOf(name), value);  // written by CommitBatch
        return Status::Ok();
    }
    QSettings settings(FileNameOf(filePath), QSettings::IniFormat);
    settings.setValue(KeyOf(name), value);
    return SyncStatus(settings, filePath, "write " + name);
}

}  // namespace

void QtProfileStore::BeginBatch() {
    if (batchDepth_++ > 0) return;
    batch_ = std::make_unique<QSettings>(FileNameOf(filePath_), QSettings::IniFormat);
}

Status QtProfileStore::CommitBatch() {
    if (batchDepth_ == 0) return Status::Ok();
    if (--batchDepth_ > 0) return Status::Ok();
    std::unique_ptr<QSettings> settings = std::move(batch_);
    return SyncStatus(*settings, filePath_, "write profile");
}

Status QtProfileStore::WriteInt(const std::string& name, std::int32_t value) {
    return WriteValue(filePath_, batch_.get(), name, QVariant(static_cast<int>(value)));
}

Status QtProfileStore::WriteString(const std::string& name, const std::string& value) {
    const QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
    const QString text = QString::fromUtf8(bytes);
    // Text form only when it gives back exactly these bytes: not for invalid UTF-8 (Qt's decoder lets an
    // encoded surrogate through, which the file then reads back as replacement characters), and not for a
    // leading byte-order mark, which the UTF-8 decoder drops.
    if (IsValidUtf8(value) && text.toUtf8() == bytes)
        return WriteValue(filePath_, batch_.get(), name, QVariant(text));
    return WriteValue(filePath_, batch_.get(), name, QVariant(bytes));
}

}  // namespace vask
