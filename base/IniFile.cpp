#include "IniFile.h"

#include "FileReplace.h"
#include "ProgramDir.h"
#include "TextUtil.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <unistd.h>

namespace kestrune {

namespace {

struct Lines {
    QStringList lines;
    QString eol = QStringLiteral("\n");
    // False when the file is there but could not be read: its content is
    // unknown, so it must not be written over.
    bool readable = true;
};

Lines loadLines(const QString& path) {
    Lines result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.readable = !QFileInfo::exists(path);
        return result;
    }
    const QByteArray raw = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.readable = false;
        return result;
    }
    if (raw.contains("\r\n"))
        result.eol = QStringLiteral("\r\n");
    QString text = QString::fromLatin1(raw);
    text.remove(QLatin1Char('\r'));
    result.lines = text.split(QLatin1Char('\n'));
    if (!result.lines.isEmpty() && result.lines.last().isEmpty())
        result.lines.removeLast(); // the final line feed
    return result;
}

// Writes over an existing file without a temporary file beside it: for an
// installation whose folder the user may not write to, although the INI
// file itself is writable for everyone. Not atomic, so only the fallback.
bool writeInPlace(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    // The new content first, then the length: a file that grows is never
    // cut short on the way.
    bool ok = file.write(content) == content.size() && file.flush();
    ok = ok && (file.size() == content.size() || file.resize(content.size()));
    ok = ok && ::fsync(file.handle()) == 0;
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

// "[name]" -> name, or a null string when the line is no section header.
QString sectionName(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')))
        return {};
    const int close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return {};
    return t.mid(1, close - 1).trimmed();
}

bool isComment(const QString& line) {
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// Splits "key=value"; false for lines without "=" and comments.
bool splitEntry(const QString& line, QString& key, QString& value) {
    if (isComment(line))
        return false;
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1).trimmed();
    if (value.size() >= 2 &&
        ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) ||
         (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\''))))) {
        value = value.mid(1, value.size() - 2);
    }
    return !key.isEmpty();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString IniFile::read(const QString& section, const QString& key,
                      const QString& defaultValue) const {
    const Lines file = loadLines(m_path);
    bool inSection = false;
    for (const QString& line : file.lines) {
        const QString name = sectionName(line);
        if (!name.isNull()) {
            inSection = sameName(name, section);
            continue;
        }
        QString k, v;
        if (inSection && splitEntry(line, k, v) && sameName(k, key))
            return v.left(MaxValueLength);
    }
    return defaultValue.left(MaxValueLength);
}

QStringList IniFile::sections() const {
    QStringList names;
    for (const QString& line : loadLines(m_path).lines) {
        const QString name = sectionName(line);
        if (!name.isNull())
            names.append(name);
    }
    return names;
}

int64_t IniFile::readNumber(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    return toNumber(read(section, key, defaultValue));
}

bool IniFile::write(const QString& section, const QString& key, const QString& value) const {
    Lines file = loadLines(m_path);
    if (!file.readable)
        return false; // writing would lose every entry we could not read
    // A line break in a value would start a line of its own and could forge
    // another entry: it is stored as a blank.
    QString flat = value;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString entry = key + QLatin1Char('=') + flat;

    int sectionLine = -1; // header of the matching section
    int lastContent = -1; // last non-blank line inside it
    int keyLine = -1;
    bool inSection = false;
    for (int i = 0; i < file.lines.size(); ++i) {
        const QString& line = file.lines[i];
        const QString name = sectionName(line);
        if (!name.isNull()) {
            if (inSection)
                break; // the first matching section is the one in use
            inSection = sameName(name, section);
            if (inSection) {
                sectionLine = i;
                lastContent = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!line.trimmed().isEmpty())
            lastContent = i;
        QString k, v;
        if (splitEntry(line, k, v) && sameName(k, key)) {
            keyLine = i;
            break;
        }
    }

    if (keyLine >= 0) {
        file.lines[keyLine] = entry;
    } else if (sectionLine >= 0) {
        file.lines.insert(lastContent + 1, entry);
    } else {
        if (!file.lines.isEmpty() && !file.lines.last().trimmed().isEmpty())
            file.lines.append(QString());
        file.lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        file.lines.append(entry);
    }

    QString text = file.lines.join(file.eol);
    text += file.eol;
    const QByteArray content = text.toLatin1();

    // A write the disk cuts short leaves the old file: replacing it with its
    // first part would lose every entry after the cut.
    const SaveResult replaced = replaceFile(m_path, content);
    if (replaced.ok)
        return true;
    if (replaced.cutShort)
        return false;
    // The folder refused the temporary file (or its rename): the file itself
    // may still be writable.
    return writeInPlace(m_path, content);
}

IniFile& programIni() {
    static IniFile ini(iniFilePath());
    // The program directory can be changed by tests; follow it.
    if (ini.path() != iniFilePath())
        ini = IniFile(iniFilePath());
    return ini;
}

} // namespace kestrune
