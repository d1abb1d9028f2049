#include "Language.h"

#include "ProgramDir.h"
#include "Settings.h"
#include "TextUtil.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <limits>

namespace kestrune {

namespace {

// The number part of an entry line. Only a whole number counts ("12",
// " 12 ", "12.0"); anything else ("12abc", "", "x") is entry 0, and so is a
// value outside the 32-bit range, so a malformed line can never take the
// place of a real text.
int32_t entryNumber(const QString& numberText) {
    if (!isNumeric(numberText))
        return 0;
    const int64_t n = toNumber(numberText);
    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(n);
}

// A language file's extension: exactly three decimal digits, since the
// chosen language is stored as three digits and the file is found by them.
bool isLanguageExtension(const QString& ext) {
    return ext.size() == 3 && std::all_of(ext.begin(), ext.end(), [](QChar c) {
               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
           });
}

} // namespace

void LanguageTable::clear() {
    m_rows.clear();
}

void LanguageTable::parse(const QByteArray& contents) {
    clear();
    const QList<QByteArray> lines = contents.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QString numberText = QString::fromLatin1(line.left(eq));
        QByteArray body = line.mid(eq + 1);
        const qsizetype second = body.indexOf('=');
        if (second >= 0)
            body.truncate(second);
        QString text = QString::fromLatin1(body);
        text.replace(QLatin1Char('\\'), QStringLiteral("\r\n"));
        m_rows.append(Row{entryNumber(numberText), text});
    }
}

bool LanguageTable::loadFile(const QString& path) {
    clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    parse(file.readAll());
    return file.error() == QFileDevice::NoError;
}

bool LanguageTable::contains(int32_t n) const {
    return std::any_of(m_rows.begin(), m_rows.end(), [n](const Row& r) { return r.number == n; });
}

QString LanguageTable::text(int32_t n) const {
    for (const Row& r : m_rows) {
        if (r.number == n)
            return r.text;
    }
    return QStringLiteral("Invalid Text (") + QString::number(n) + QLatin1Char(')');
}

QString languageFileName(int number) {
    return QStringLiteral("Kestrune_Language.") +
           QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
}

QVector<LanguageChoice> listLanguages(const QString& dir) {
    QVector<LanguageChoice> result;
    const QStringList files =
        QDir(dir).entryList({QStringLiteral("Kestrune_Language.*")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        const QString ext = name.mid(name.indexOf(QLatin1Char('.')) + 1);
        if (!isLanguageExtension(ext))
            continue;
        QFile file(QDir(dir).filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            QByteArray line = file.readLine();
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            if (line.startsWith("0=") && line.size() > 2) {
                QByteArray body = line.mid(2);
                const qsizetype second = body.indexOf('=');
                if (second >= 0)
                    body.truncate(second);
                result.append({ext.toInt(), QString::fromLatin1(body), file.fileName()});
                break;
            }
        }
    }
    std::sort(result.begin(), result.end(),
              [](const LanguageChoice& a, const LanguageChoice& b) { return a.number < b.number; });
    return result;
}

LanguageTable& languageTable() {
    static LanguageTable table;
    return table;
}

bool loadLanguage() {
    LanguageTable& table = languageTable();
    table.clear();
    const QString setting = settings::get(QStringLiteral("Language"));
    if (setting.isEmpty())
        return false;
    const QString path = textsDir() + QStringLiteral("Kestrune_Language.") + setting;
    if (!QFile::exists(path))
        return false;
    return table.loadFile(path);
}

QString getText(int32_t n) {
    return languageTable().text(n);
}

} // namespace kestrune
