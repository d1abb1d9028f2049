#include "netsetup/InputCheck.h"

#include "base/Language.h"
#include "netsetup/SetupTexts.h"

namespace kestrune {

using namespace setuptext;

namespace {

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text.trimmed() + QStringLiteral("' ");
}

} // namespace

std::optional<MacAddress> checkMacAddress(const QString& text, QString& message) {
    MacAddress mac{};
    if (parseMac(text, mac))
        return mac;
    message = quoted(text) + getText(TextBadMac);
    return std::nullopt;
}

std::optional<Ipv4Address> checkAddress(const QString& text, QString& message) {
    Ipv4Address address{};
    if (parseIpv4(text, address))
        return address;
    message = quoted(text) + getText(TextBadIp);
    return std::nullopt;
}

std::optional<Ipv4Address> checkDeviceAddress(const QString& text, QString& message) {
    const std::optional<Ipv4Address> address = checkAddress(text, message);
    if (address && (*address)[0] >= 224) {
        message = quoted(text) + getText(TextBadIp);
        return std::nullopt;
    }
    return address;
}

std::optional<Ipv4Address> checkNetMask(const QString& text, QString& message) {
    Ipv4Address mask{};
    if (parseIpv4(text, mask)) {
        const uint32_t value = (uint32_t(mask[0]) << 24) | (uint32_t(mask[1]) << 16) |
                               (uint32_t(mask[2]) << 8) | uint32_t(mask[3]);
        // Ones, then zeros: inverted, the zeros at the low end plus one
        // give a power of two.
        const uint32_t hostPart = ~value;
        if ((hostPart & (hostPart + 1)) == 0)
            return mask;
    }
    message = quoted(text) + getText(TextBadMask);
    return std::nullopt;
}

std::optional<uint16_t> checkPort(const QString& text, QString& message) {
    const QString t = text.trimmed();
    bool digits = !t.isEmpty() && t.size() <= 5;
    for (QChar c : t)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int value = digits ? t.toInt() : 0;
    if (value >= 1 && value <= 65535)
        return static_cast<uint16_t>(value);
    message = quoted(text) + getText(TextBadPort);
    return std::nullopt;
}

} // namespace kestrune
