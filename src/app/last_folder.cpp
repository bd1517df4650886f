#include "app/last_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace framolo {

namespace {

constexpr const char* kKey = "Dialogs/LastFolder";

// Named here rather than by the application's names, which tests and other
// programs linking the window may leave unset.
QSettings Settings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Framolo"),
                     QStringLiteral("Framolo"));
}

} // namespace

QString LastFolder() {
    const QString folder = Settings().value(QString::fromLatin1(kKey)).toString();
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

void RememberFolder(const QString& chosenFile) {
    if (chosenFile.isEmpty())
        return;
    Settings().setValue(QString::fromLatin1(kKey), QFileInfo(chosenFile).absolutePath());
}

} // namespace framolo
