#include "SimConfig.h"

#include "base/TextUtil.h"

#include <QHostAddress>
#include <QStringList>

namespace kestrune::sim {

const ConfigEntry* ConfigSection::find(const QString& key) const {
    for (const ConfigEntry& e : entries) {
        if (e.key.compare(key, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

QString ConfigSection::title() const {
    return QLatin1Char('[') + kind + (name.isEmpty() ? QString() : QLatin1Char(' ') + name) +
           QLatin1Char(']');
}

void ConfigReader::fail(int line, const QString& reason) {
    if (m_error.isEmpty())
        m_error =
            m_source + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") + reason;
}

QString ConfigReader::text(const ConfigSection& s, const QString& key, const QString& fallback) {
    const ConfigEntry* e = s.find(key);
    return e ? e->value : fallback;
}

int64_t ConfigReader::integer(const ConfigSection& s, const QString& key, int64_t fallback,
                              int64_t min, int64_t max) {
    const ConfigEntry* e = s.find(key);
    if (!e)
        return fallback;
    bool ok = false;
    const qlonglong v = e->value.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                            ? e->value.mid(2).toLongLong(&ok, 16)
                            : e->value.toLongLong(&ok, 10);
    if (!ok) {
        fail(e->line, QStringLiteral("%1 in %2 must be a whole number, not \"%3\"")
                          .arg(key, s.title(), e->value));
        return fallback;
    }
    if (v < min || v > max) {
        fail(e->line, QStringLiteral("%1 in %2 must lie between %3 and %4, not %5")
                          .arg(key, s.title())
                          .arg(min)
                          .arg(max)
                          .arg(v));
        return fallback;
    }
    return v;
}

bool ConfigReader::flag(const ConfigSection& s, const QString& key, bool fallback) {
    static const QStringList words{QStringLiteral("no"),    QStringLiteral("yes"),
                                   QStringLiteral("false"), QStringLiteral("true"),
                                   QStringLiteral("off"),   QStringLiteral("on"),
                                   QStringLiteral("0"),     QStringLiteral("1")};
    const int i = choice(s, key, words, fallback ? 1 : 0);
    return i % 2 == 1;
}

QByteArray ConfigReader::bytes(const ConfigSection& s, const QString& key,
                               const QByteArray& fallback) {
    const ConfigEntry* e = s.find(key);
    if (!e)
        return fallback;
    QByteArray out;
    if (!parseHexBytes(e->value, out)) {
        fail(e->line, QStringLiteral("%1 in %2 must be hexadecimal bytes such as \"68 03 03 68\"")
                          .arg(key, s.title()));
        return fallback;
    }
    return out;
}

int ConfigReader::choice(const ConfigSection& s, const QString& key, const QStringList& words,
                         int fallback) {
    const ConfigEntry* e = s.find(key);
    if (!e)
        return fallback;
    for (int i = 0; i < words.size(); ++i) {
        if (words[i].compare(e->value, Qt::CaseInsensitive) == 0)
            return i;
    }
    fail(e->line, QStringLiteral("%1 in %2 must be one of %3, not \"%4\"")
                      .arg(key, s.title(), words.join(QStringLiteral(", ")), e->value));
    return fallback;
}

bool isDottedV4(const QString& address) {
    QHostAddress a;
    // Accept only the plain dotted form, not "127.1" or hexadecimal parts.
    return a.setAddress(address) && a.protocol() == QAbstractSocket::IPv4Protocol &&
           address.count(QLatin1Char('.')) == 3;
}

bool isLoopbackV4(const QString& address) {
    return isDottedV4(address) && (QHostAddress(address).toIPv4Address() >> 24) == 127;
}

QString ConfigReader::loopbackAddress(const ConfigSection& s, const QString& key,
                                      const QString& fallback) {
    const ConfigEntry* e = s.find(key);
    if (!e)
        return fallback;
    if (m_anyAddress && isDottedV4(e->value))
        return e->value;
    if (m_anyAddress) {
        fail(e->line, QStringLiteral("%1 in %2 is \"%3\": expected an IPv4 address")
                          .arg(key, s.title(), e->value));
        return fallback;
    }
    if (!isLoopbackV4(e->value)) {
        fail(e->line, QStringLiteral("%1 in %2 is \"%3\": the simulator serves only loopback "
                                     "addresses inside 127.0.0.0/8")
                          .arg(key, s.title(), e->value));
        return fallback;
    }
    return e->value;
}

void ConfigReader::onlyKeys(const ConfigSection& s, const QStringList& known) {
    for (const ConfigEntry& e : s.entries) {
        if (!known.contains(e.key, Qt::CaseInsensitive)) {
            fail(e.line, QStringLiteral("unknown key \"%1\" in %2 (known: %3)")
                             .arg(e.key, s.title(), known.join(QStringLiteral(", "))));
            return;
        }
    }
}

std::optional<ConfigFile> parseConfig(const QByteArray& text, const QString& sourceName,
                                      QString& error) {
    ConfigFile file;
    const QList<QByteArray> lines = text.split('\n');
    auto fail = [&](int line, const QString& reason) {
        error =
            sourceName + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") + reason;
    };
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                fail(lineNo, QStringLiteral("section header without closing \"]\""));
                return std::nullopt;
            }
            const QStringList words =
                line.mid(1, line.size() - 2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (words.isEmpty() || words.size() > 2) {
                fail(lineNo, QStringLiteral("a section header is \"[kind]\" or \"[kind name]\""));
                return std::nullopt;
            }
            ConfigSection s;
            s.kind = words[0].toLower();
            s.name = words.size() > 1 ? words[1] : QString();
            s.line = lineNo;
            file.sections.append(s);
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            fail(lineNo, QStringLiteral("expected \"key = value\""));
            return std::nullopt;
        }
        if (file.sections.isEmpty()) {
            fail(lineNo, QStringLiteral("\"%1\" stands before the first section")
                             .arg(line.left(eq).trimmed()));
            return std::nullopt;
        }
        ConfigSection& s = file.sections.last();
        ConfigEntry e{line.left(eq).trimmed(), line.mid(eq + 1).trimmed(), lineNo};
        if (s.find(e.key)) {
            fail(lineNo, QStringLiteral("\"%1\" is given twice in %2").arg(e.key, s.title()));
            return std::nullopt;
        }
        s.entries.append(e);
    }
    return file;
}

} // namespace kestrune::sim
