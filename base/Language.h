#pragma once

#include <QString>
#include <QVector>

#include <cstdint>

namespace kestrune {

// The numbered texts of one language file ("Kestrune_Language.001").
//
// File format: 8-bit (Latin-1) text lines. A line without "=" is ignored.
// Otherwise the text before the first "=" is the number (a whole number;
// any other text, such as "12abc", counts as 0), the text up to the second
// "=" is the entry (the rest of the line is dropped), and every backslash in
// it becomes CR LF. The first entry of a number wins. Entry 0 is the
// language's own name.
class LanguageTable {
public:
    // Reads a whole file; false (and an empty table) when it can't be read.
    bool loadFile(const QString& path);
    // Parses file contents already in memory.
    void parse(const QByteArray& contents);
    void clear();

    // The text of number n, or "Invalid Text (n)".
    QString text(int32_t n) const;
    bool contains(int32_t n) const;
    int count() const { return static_cast<int>(m_rows.size()); }

private:
    struct Row {
        int32_t number;
        QString text;
    };
    QVector<Row> m_rows;
};

// One file offered in the language window.
struct LanguageChoice {
    int number = 0; // numeric extension
    QString name;   // the text of entry 0
    QString path;
};

// Lists "Kestrune_Language.nnn" files in dir whose extension is three decimal
// digits and which hold an entry "0=" with a non-empty name, sorted by number.
// (A shorter extension such as ".1" is left out: the choice is stored as
// "001", which would name a different file.) The name is matched without
// regard to letter case, as findLanguageFile() opens it.
QVector<LanguageChoice> listLanguages(const QString& dir);

// The file in dir of the language a "Language" setting names ("002"):
// "Kestrune_Language.002" as the program spells it, else the same name in
// any other letter case. Empty when there is none or the setting is not
// three digits.
QString findLanguageFile(const QString& dir, const QString& setting);

// File name of a language number: "Kestrune_Language.001".
QString languageFileName(int number);

// The program-wide language: loads the file the user's "Language" setting
// names (findLanguageFile) from the program directory. False when no
// language is chosen or the file is missing.
bool loadLanguage();

// The loaded table (program-wide).
LanguageTable& languageTable();

// Text number n of the loaded language ("Invalid Text (n)" when absent).
QString getText(int32_t n);

} // namespace kestrune
