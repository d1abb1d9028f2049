#include "search/SearchTimeouts.h"

#include "base/IniFile.h"
#include "base/Settings.h"

namespace kestrune::searchtimeouts {

namespace {

const QString Section = QStringLiteral("Search");
const QString ActiveKey = QStringLiteral("Option_SearchActiveSetting");
const QString SpeedButtonKey = QStringLiteral("Option_Search_Timeout");
constexpr int SpeedButtonCount = 3;

QLatin1String suffix(GatewayFamily family) {
    return family == GatewayFamily::K1 ? QLatin1String("_K1") : QLatin1String("_K2");
}

const char* factoryValue(const Row& row, GatewayFamily family) {
    return family == GatewayFamily::K1 ? row.k1 : row.k2;
}

} // namespace

const std::array<Row, RowCount>& rows() {
    static const std::array<Row, RowCount> table{{
        {"SND_NKE_Timeout_300", "3000", "4000"},
        {"RSP_UD2_Timeout_300", "10000", "10000"},
        {"SND_NKE_Timeout_2400", "1500", "4000"},
        {"RSP_UD2_Timeout_2400", "3000", "5000"},
        {"SND_NKE_Timeout_9600", "700", "4000"},
        {"RSP_UD2_Timeout_9600", "3000", "5000"},
    }};
    return table;
}

QString key(int row, GatewayFamily family) {
    return QLatin1String(rows()[static_cast<size_t>(row)].stem) + suffix(family);
}

QStringList readTexts(const IniFile& ini, GatewayFamily family) {
    QStringList texts;
    for (int row = 0; row < RowCount; ++row)
        texts.append(
            ini.read(Section, key(row, family),
                     QLatin1String(factoryValue(rows()[static_cast<size_t>(row)], family))));
    return texts;
}

QStringList factoryTexts(GatewayFamily family) {
    QStringList texts;
    for (const Row& row : rows())
        texts.append(QLatin1String(factoryValue(row, family)));
    return texts;
}

bool writeTexts(const IniFile& ini, GatewayFamily family, const QStringList& texts) {
    for (int row = 0; row < RowCount && row < texts.size(); ++row) {
        if (!ini.write(Section, key(row, family), texts[row]))
            return false;
    }
    return true;
}

GatewayFamily activeFamily() {
    return settings::getNumber(ActiveKey, QStringLiteral("0")) == 0 ? GatewayFamily::K1
                                                                    : GatewayFamily::K2;
}

void storeActiveFamily(GatewayFamily family) {
    settings::save(ActiveKey,
                   family == GatewayFamily::K1 ? QStringLiteral("0") : QStringLiteral("1"));
}

int storedSpeedButton() {
    const int64_t n = settings::getNumber(SpeedButtonKey, QStringLiteral("0"));
    return n >= 0 && n < SpeedButtonCount ? static_cast<int>(n) : 0;
}

void storeSpeedButton(int button) {
    settings::save(SpeedButtonKey, static_cast<int64_t>(button));
}

} // namespace kestrune::searchtimeouts
