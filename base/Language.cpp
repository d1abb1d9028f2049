#include "Language.h"

#include "ProgramDir.h"
#include "Settings.h"
#include "TextUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

const QString LanguageFilePrefix = QStringLiteral("Kestrune_Language.");

// A language file's extension: exactly three decimal digits, since the
// chosen language is stored as three digits and the file is found by them.
bool isLanguageExtension(const QString& ext) {
    return ext.size() == 3 && std::all_of(ext.begin(), ext.end(), [](QChar c) {
               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
           });
}

// The language number a file name stands for, or -1. The name is matched
// without regard to letter case ("KESTRUNE_LANGUAGE.002" is language 2):
// the one rule for offering a file and for opening it.
int languageNumberOfFileName(const QString& name) {
    if (name.size() != LanguageFilePrefix.size() + 3 ||
        !name.startsWith(LanguageFilePrefix, Qt::CaseInsensitive))
        return -1;
    const QString ext = name.mid(LanguageFilePrefix.size());
    return isLanguageExtension(ext) ? ext.toInt() : -1;
}

// Every file in dir that names a language, in name order.
QStringList languageFileNames(const QString& dir) {
    QStringList names;
    const QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
    for (const QString& name : files)
        if (languageNumberOfFileName(name) >= 0)
            names.append(name);
    return names;
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

QString findLanguageFile(const QString& dir, const QString& setting) {
    // The setting is the extension itself, three digits as the language
    // window stores it.
    if (!isLanguageExtension(setting))
        return {};
    // The name as the program writes it first, then any other spelling.
    const QString exact = QDir(dir).filePath(LanguageFilePrefix + setting);
    if (QFileInfo(exact).isFile())
        return exact;
    const int number = setting.toInt();
    for (const QString& name : languageFileNames(dir))
        if (languageNumberOfFileName(name) == number)
            return QDir(dir).filePath(name);
    return {};
}

QVector<LanguageChoice> listLanguages(const QString& dir) {
    QVector<LanguageChoice> result;
    for (const QString& name : languageFileNames(dir)) {
        const int number = languageNumberOfFileName(name);
        // Two spellings of one number: the one that would be opened.
        if (std::any_of(result.begin(), result.end(),
                        [number](const LanguageChoice& c) { return c.number == number; }))
            continue;
        QFile file(findLanguageFile(dir, name.right(3)));
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
                result.append({number, QString::fromLatin1(body), file.fileName()});
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
    const QString path = findLanguageFile(textsDir(), setting);
    if (path.isEmpty())
        return false;
    return table.loadFile(path);
}

QString getText(int32_t n) {
    return languageTable().text(n);
}

} // namespace kestrune
