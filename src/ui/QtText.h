#pragma once

#include <QString>

#include <string>

namespace qv {

// The engine's UTF-16 texts and Qt's, unit for unit: nothing is normalised or replaced.
inline QString ToQString(const std::u16string& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

}  // namespace qv
