#pragma once

#include "base/ResultTone.h"
#include "channel/TrafficLog.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// Tag files: the tag names of the ASCII page come from one of three plain
// text layouts, and the list can be written back one name a line.
//
//   0  OPC item list: every line must hold two "." at least; the whole line
//      is the tag name.
//   1  tag table: every line must begin with "["; a line whose first field
//      is "[TAG]" (any letter case) and that has at least five commas gives
//      field 2 + "." + (field 3 + "_" when field 3 is not empty) + field 4 +
//      "." + field 5. Other lines are skipped without notice.
//   2  item table: every line must begin with "[item]" (exactly, lower
//      case); a line with four commas or more gives its fourth field, a
//      shorter one its last field.
// Fields are separated by commas; double quotes are dropped from fields and
// do not protect commas. A line that breaks its layout's rule rejects the
// file there; the tags before it stay.
//
// Lines no real tag file holds are left out and named instead of loaded:
// lines longer than MaxLineLength, lines with control characters (a binary
// file; such a name could not travel in a request frame anyway), and a last
// line that ends inside a quoted field. Reading stops after MaxFileBytes or
// MaxTags, which is named as well.
namespace kestrune::ascii {

enum class TagFileLayout { OpcItems = 0, TagTable = 1, ItemTable = 2 };

inline constexpr qsizetype MaxLineLength = 1024;
inline constexpr qint64 MaxFileBytes = 8 * 1024 * 1024;
inline constexpr int MaxTags = 50000;

struct SkippedLine {
    enum Reason {
        TooLong,   // longer than MaxLineLength
        NotText,   // control characters
        OpenQuote, // the file ends inside a quoted field
        NotRead,   // the file is larger than the reader takes: this line and the rest
    };
    int line = 0; // 1-based
    Reason reason = TooLong;
    bool operator==(const SkippedLine&) const = default;
};

struct TagFileReading {
    QStringList tags; // 8-bit names, one character per byte
    bool rejected = false;
    int rejectedLine = 0; // 1-based, when rejected
    // The first lines left out (at most MaxSkippedListed) and how many in all.
    QList<SkippedLine> skipped;
    int skippedCount = 0;
    static constexpr int MaxSkippedListed = 20;
};

// The reading of a whole file's contents.
TagFileReading readTagText(QByteArrayView contents, TagFileLayout layout);

// The text the result label shows after a load of fileName ("meters.csv"):
// the success text of the layout (1118, 1120, 1122), or the file name, a
// blank and the rejection text (1117, 1119, 1121); then the skipped lines
// when there are any.
QString tagFileResultText(const TagFileReading& reading, TagFileLayout layout,
                          const QString& fileName);
inline ResultTone tagFileResultTone(const TagFileReading& reading) {
    return reading.rejected ? ResultTone::Failure : ResultTone::Success;
}

struct TagFileLoad {
    // False when the file could not be opened: the list stays as it was.
    bool opened = false;
    // What was read; on a read error, the tags read before it.
    TagFileReading reading;
    // ok, or the error of the open or of a read.
    SaveResult error;
    // The result label (only when the file was read to its end).
    QString text;
    ResultTone tone = ResultTone::Success;
};

// Opens and reads a tag file.
TagFileLoad loadTagFile(const QString& path, TagFileLayout layout);
// Reads an open device to its end (or the limits).
TagFileLoad readTagDevice(QIODevice& device, TagFileLayout layout, const QString& fileName);

// The saved list: every entry a line, or when the list is empty the box
// text alone (nothing when that is empty too); lines end with CR LF, names
// are written as 8-bit text.
QByteArray tagListContents(const QStringList& tags, const QString& boxText);
// Writes the list to path, replacing the file as a whole (a failed write
// leaves an existing file as it was).
[[nodiscard]] SaveResult saveTagList(const QString& path, const QStringList& tags,
                                     const QString& boxText);

} // namespace kestrune::ascii
