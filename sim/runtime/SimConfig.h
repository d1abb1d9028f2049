#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

namespace kestrune::sim {

// The simulator's installation file: INI-like text with repeated sections.
//
//   # comment            ; comment
//   [gateway gw1]        section kind, then an optional name
//   address = 127.0.0.2  key = value (blanks around both are dropped)
//
// Every problem is reported with its line number, so a bad file is refused
// at start with a message that says where and why.
struct ConfigEntry {
    QString key;
    QString value;
    int line = 0;
};

class ConfigSection {
public:
    QString kind; // "gateway", "meter", ...
    QString name; // may be empty
    int line = 0; // line of the header
    QVector<ConfigEntry> entries;

    const ConfigEntry* find(const QString& key) const;
    bool has(const QString& key) const { return find(key) != nullptr; }
    // "[meter m1]" - how messages name the section.
    QString title() const;
};

// Collects the first error; the typed getters return a usable fallback after
// an error so that callers can read on without checking every call.
class ConfigReader {
public:
    explicit ConfigReader(QString sourceName) : m_source(std::move(sourceName)) {}

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    void fail(int line, const QString& reason);

    QString text(const ConfigSection& s, const QString& key, const QString& fallback = QString());
    int64_t integer(const ConfigSection& s, const QString& key, int64_t fallback, int64_t min,
                    int64_t max);
    bool flag(const ConfigSection& s, const QString& key, bool fallback);
    // Hexadecimal bytes ("68 03 03 68" or "680303 68").
    QByteArray bytes(const ConfigSection& s, const QString& key, const QByteArray& fallback = {});
    // One of the listed words (case-insensitive); returns its index.
    int choice(const ConfigSection& s, const QString& key, const QStringList& words, int fallback);
    // An IPv4 address inside 127.0.0.0/8 (anything else is refused); with
    // setAnyAddress(true), for a simulator inside a private network
    // namespace, any dotted IPv4 address.
    QString loopbackAddress(const ConfigSection& s, const QString& key, const QString& fallback);
    void setAnyAddress(bool any) { m_anyAddress = any; }
    // Refuses keys that the section kind does not know (typos would
    // otherwise be silently ignored).
    void onlyKeys(const ConfigSection& s, const QStringList& known);

private:
    QString m_source;
    QString m_error;
    bool m_anyAddress = false;
};

struct ConfigFile {
    QVector<ConfigSection> sections;
};

// Parses the text; on a syntax error returns nothing and sets error to
// "<source>:<line>: <reason>".
std::optional<ConfigFile> parseConfig(const QByteArray& text, const QString& sourceName,
                                      QString& error);

// Whether the text is a dotted IPv4 address inside 127.0.0.0/8.
bool isLoopbackV4(const QString& address);
// Whether the text is a dotted IPv4 address (four parts).
bool isDottedV4(const QString& address);

} // namespace kestrune::sim
