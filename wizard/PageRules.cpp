#include "PageRules.h"

#include "base/Language.h"
#include "base/TextUtil.h"

namespace kestrune {

QStringList baudRateItems(int task, const QString& rarelySupported) {
    if (task == 5 || task == 6) {
        return {QStringLiteral("300"),  QStringLiteral("600"),  QStringLiteral("1200"),
                QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"),
                QStringLiteral("19200")};
    }
    const QString note = QLatin1Char(' ') + rarelySupported;
    return {QStringLiteral("300"),  QStringLiteral("600") + note,  QStringLiteral("1200") + note,
            QStringLiteral("2400"), QStringLiteral("4800") + note, QStringLiteral("9600")};
}

QStringList dataBitsItems() {
    return {QStringLiteral("7"), QStringLiteral("8")};
}

QStringList parityItems() {
    // In the order of the link's N, O, E: the list position is what is stored.
    return {getText(2610), getText(2611), getText(2612)};
}

QStringList stopBitsItems() {
    return {QStringLiteral("1"), QStringLiteral("2")};
}

bool serialFormatShown(int task) {
    return task >= 5 && task <= 8;
}

QString portTextToStore(const QString& typed) {
    return toNumber(typed) > 65535 ? QStringLiteral("65535") : typed;
}

QString timeoutSectionForPage(int page) {
    switch (page) {
    case 60:
        return QStringLiteral("IP");
    case 70:
        return QStringLiteral("ModBus");
    case 80:
        return QStringLiteral("MBusASCII");
    case 90:
        return QStringLiteral("PadPuls");
    case 100:
        return QStringLiteral("FreePacketAndString");
    default:
        return {};
    }
}

bool opensLink(int page) {
    return !timeoutSectionForPage(page).isEmpty();
}

QString meterPageFailureText(const QString& text158, const QString& error) {
    if (error.isEmpty())
        return text158;
    return text158 + QStringLiteral("\r\n") + getText(2630) + QLatin1Char(' ') + error;
}

QString resultLabelFailureText(const QString& text158, const QString& error) {
    if (error.isEmpty())
        return text158;
    return text158 + QLatin1Char(' ') + getText(2631) + QLatin1Char(' ') + error;
}

bool isPlainIPv4(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        int value = 0;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            value = value * 10 + (c.unicode() - u'0');
        }
        if (value > 255)
            return false;
    }
    return true;
}

QUrl deviceWebPageUrl(const QString& address) {
    if (!isPlainIPv4(address))
        return {};
    return QUrl(QStringLiteral("http://") + address, QUrl::StrictMode);
}

} // namespace kestrune
