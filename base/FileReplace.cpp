#include "base/FileReplace.h"

#include <QFileDevice>
#include <QSaveFile>

namespace kestrune {

QString SaveResult::message() const {
    return QStringLiteral("The following error has occurred:\r\nErr # ") +
           QString::number(errorNumber) + QStringLiteral(" - ") + description;
}

SaveResult fileFailure(const QIODevice& device, int fallbackError) {
    SaveResult result;
    result.ok = false;
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    result.errorNumber = file && file->error() != QFileDevice::NoError
                             ? static_cast<int>(file->error())
                             : fallbackError;
    result.description = device.errorString();
    return result;
}

SaveResult replaceFile(const QString& path, const QByteArray& contents) {
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile commits a file the disk cut short
    // (its failed flush goes unnoticed); written directly, the short write
    // shows in the count.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fileFailure(file, QFileDevice::OpenError);
    if (file.write(contents) != contents.size()) {
        SaveResult failed = fileFailure(file, QFileDevice::WriteError);
        failed.cutShort = true;
        file.cancelWriting();
        return failed;
    }
    if (!file.commit())
        return fileFailure(file, QFileDevice::WriteError);
    return SaveResult{};
}

} // namespace kestrune
