#pragma once
// The core keeps every text as UTF-8 in a std::string; the windows convert at their edge with these.

#include <QString>

#include <string>

namespace vask {

inline QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace vask
