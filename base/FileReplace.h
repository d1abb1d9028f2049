#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Files written whole: the result of a file write and the write that
// replaces a file whole or leaves it as it was.
namespace kestrune {

struct SaveResult {
    bool ok = true;
    int errorNumber = 0;
    QString description;
    // The disk took only part of the contents (full, or a size limit). The
    // file at the path is untouched; any other failure happened before a
    // byte was written or when the finished file was put in place.
    bool cutShort = false;
    // "The following error has occurred:" CR LF "Err # n - description".
    QString message() const;
};

// A failed file operation: the device's own error number (the fallback, a
// QFileDevice::FileError, when it reports none or is no file) and its
// description.
SaveResult fileFailure(const QIODevice& device, int fallbackError);

// Writes a whole file anew: the contents go to a temporary file in the same
// folder, which replaces path once it is complete. When the disk refuses
// any part, the temporary file is removed and path stays as it was.
[[nodiscard]] SaveResult replaceFile(const QString& path, const QByteArray& contents);

} // namespace kestrune
