#include "settings.h"

#include <QSettings>

namespace fernwise {

std::optional<int> Settings::readResIndex() const {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise");
    if (s.status() != QSettings::NoError || !s.contains("ResIndex")) return std::nullopt;
    bool ok = false;
    int value = s.value("ResIndex").toInt(&ok);
    if (!ok || value < 0 || value > 9) return std::nullopt;
    return value;
}

void Settings::writeResIndex(int sizeIndex) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise");
    s.setValue("ResIndex", sizeIndex);
}

QString Settings::readOldPath() const {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise");
    if (s.status() != QSettings::NoError) return {};
    return s.value("OldPath").toString();
}

void Settings::writeOldPath(const QString& folder) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise");
    s.setValue("OldPath", folder);
}

}  // namespace fernwise
