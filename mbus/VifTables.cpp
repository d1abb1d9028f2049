#include "mbus/VifTables.h"

#include <array>

namespace kestrune::mbus {

namespace {

// Units after normalisation. Symbols, not words: they are never translated.
constexpr const char* kWh = "Wh";
constexpr const char* kJ = "J";
constexpr const char* kM3 = "m^3";
constexpr const char* kKg = "kg";
constexpr const char* kW = "W";
constexpr const char* kJh = "J/h";
constexpr const char* kM3h = "m^3/h";
constexpr const char* kKgh = "kg/h";
constexpr const char* kCelsius = "\u00B0C";
constexpr const char* kKelvin = "K";
constexpr const char* kBar = "bar";
constexpr const char* kS = "s";
constexpr const char* kV = "V";
constexpr const char* kA = "A";
constexpr const char* kBaud = "Bd";
constexpr const char* kDbm = "dBm";
constexpr const char* kMonth = "month";
constexpr const char* kYear = "year";

// US gallon and cubic foot in cubic metres.
constexpr double kUsGallon = 0.003785411784;
constexpr double kCubicFoot = 0.028316846592;

VifMeaning number(Quantity q, const char* unit, int exponent, double factor = 1.0) {
    return VifMeaning{q, unit, exponent, factor, 0.0, ValueType::Number};
}

VifMeaning plain(Quantity q, ValueType type = ValueType::Number) {
    return VifMeaning{q, "", 0, 1.0, 0.0, type};
}

// A duration whose two low bits choose seconds, minutes, hours or days.
VifMeaning duration(Quantity q, int nn) {
    return number(q, kS, 0, kSecondsPer[nn & 3]);
}

// A duration whose two low bits choose hours, days, months or years. Months
// and years have no fixed length in seconds and keep their own unit.
VifMeaning longDuration(Quantity q, int pp) {
    switch (pp & 3) {
    case 0:
        return number(q, kS, 0, 3600.0);
    case 1:
        return number(q, kS, 0, 86400.0);
    case 2:
        return number(q, kMonth, 0);
    default:
        return number(q, kYear, 0);
    }
}

// Fahrenheit readings turned into degrees Celsius.
VifMeaning fahrenheit(Quantity q, int nn) {
    return VifMeaning{q, kCelsius, nn - 3, 5.0 / 9.0, -160.0 / 9.0, ValueType::Number};
}

VifMeaning reserved() {
    return VifMeaning{Quantity::Reserved, "", 0, 1.0, 0.0, ValueType::Raw};
}

} // namespace

VifMeaning primaryVif(uint8_t vif) {
    const int code = vif & 0x7F;
    const int n3 = code & 0x07;
    const int n2 = code & 0x03;
    switch (code >> 3) {
    case 0x00:
        return number(Quantity::Energy, kWh, n3 - 3);
    case 0x01:
        return number(Quantity::Energy, kJ, n3);
    case 0x02:
        return number(Quantity::Volume, kM3, n3 - 6);
    case 0x03:
        return number(Quantity::Mass, kKg, n3 - 3);
    case 0x04:
        return duration(code < 0x24 ? Quantity::OnTime : Quantity::OperatingTime, n2);
    case 0x05:
        return number(Quantity::Power, kW, n3 - 3);
    case 0x06:
        return number(Quantity::Power, kJh, n3);
    case 0x07:
        return number(Quantity::VolumeFlow, kM3h, n3 - 6);
    case 0x08: // m^3/min
        return number(Quantity::VolumeFlow, kM3h, n3 - 7, 60.0);
    case 0x09: // m^3/s
        return number(Quantity::VolumeFlow, kM3h, n3 - 9, 3600.0);
    case 0x0A:
        return number(Quantity::MassFlow, kKgh, n3 - 3);
    case 0x0B:
        return number(code < 0x5C ? Quantity::FlowTemperature : Quantity::ReturnTemperature,
                      kCelsius, n2 - 3);
    case 0x0C:
        return code < 0x64 ? number(Quantity::TemperatureDifference, kKelvin, n2 - 3)
                           : number(Quantity::ExternalTemperature, kCelsius, n2 - 3);
    case 0x0D:
        if (code < 0x6C) {
            return number(Quantity::Pressure, kBar, n2 - 3);
        }
        switch (code) {
        case 0x6C:
            return plain(Quantity::Date, ValueType::Date);
        case 0x6D:
            return plain(Quantity::DateTime, ValueType::DateTime);
        case 0x6E:
            return plain(Quantity::HcaUnits);
        default:
            return reserved();
        }
    case 0x0E:
        return duration(code < 0x74 ? Quantity::AveragingDuration : Quantity::ActualityDuration,
                        n2);
    default:
        switch (code) {
        case 0x78:
            return plain(Quantity::FabricationNumber, ValueType::Identifier);
        case 0x79:
            return plain(Quantity::EnhancedIdentification, ValueType::Identifier);
        case 0x7A:
            return plain(Quantity::BusAddress);
        case 0x7C:
            return plain(Quantity::PlainText);
        case 0x7E:
            return plain(Quantity::AnyVif);
        case 0x7F:
            return plain(Quantity::ManufacturerSpecific);
        default: // 7B and 7D name an extension table
            return reserved();
        }
    }
}

VifMeaning extensionFdVif(uint8_t codeByte) {
    const int code = codeByte & 0x7F;
    const int n2 = code & 0x03;
    if (code < 0x04) {
        return number(Quantity::Credit, "", n2 - 3);
    }
    if (code < 0x08) {
        return number(Quantity::Debit, "", n2 - 3);
    }
    if (code >= 0x24 && code < 0x28) {
        return duration(Quantity::StorageInterval, n2);
    }
    if (code >= 0x2C && code < 0x30) {
        return duration(Quantity::DurationSinceReadout, n2);
    }
    if (code >= 0x31 && code < 0x34) {
        return duration(Quantity::TariffDuration, n2);
    }
    if (code >= 0x34 && code < 0x38) {
        return duration(Quantity::TariffPeriod, n2);
    }
    if (code >= 0x40 && code < 0x50) {
        return number(Quantity::Voltage, kV, (code & 0x0F) - 9);
    }
    if (code >= 0x50 && code < 0x60) {
        return number(Quantity::Current, kA, (code & 0x0F) - 12);
    }
    if (code >= 0x68 && code < 0x6C) {
        return longDuration(Quantity::DurationSinceCumulation, n2);
    }
    if (code >= 0x6C && code < 0x70) {
        return longDuration(Quantity::BatteryOperatingTime, n2);
    }
    switch (code) {
    case 0x08:
        return plain(Quantity::AccessNumber);
    case 0x09:
        return plain(Quantity::Medium, ValueType::Identifier);
    case 0x0A:
        return plain(Quantity::Manufacturer, ValueType::Identifier);
    case 0x0B:
        return plain(Quantity::ParameterSet, ValueType::Identifier);
    case 0x0C:
        return plain(Quantity::ModelVersion, ValueType::Identifier);
    case 0x0D:
        return plain(Quantity::HardwareVersion);
    case 0x0E:
        return plain(Quantity::FirmwareVersion);
    case 0x0F:
        return plain(Quantity::SoftwareVersion);
    case 0x10:
        return plain(Quantity::CustomerLocation, ValueType::Identifier);
    case 0x11:
        return plain(Quantity::Customer, ValueType::Identifier);
    case 0x12:
        return plain(Quantity::AccessCodeUser, ValueType::Identifier);
    case 0x13:
        return plain(Quantity::AccessCodeOperator, ValueType::Identifier);
    case 0x14:
        return plain(Quantity::AccessCodeSystemOperator, ValueType::Identifier);
    case 0x15:
        return plain(Quantity::AccessCodeDeveloper, ValueType::Identifier);
    case 0x16:
        return plain(Quantity::Password, ValueType::Identifier);
    case 0x17:
        return plain(Quantity::ErrorFlags, ValueType::Flags);
    case 0x18:
        return plain(Quantity::ErrorMask, ValueType::Flags);
    case 0x1A:
        return plain(Quantity::DigitalOutput, ValueType::Flags);
    case 0x1B:
        return plain(Quantity::DigitalInput, ValueType::Flags);
    case 0x1C:
        return number(Quantity::BaudRate, kBaud, 0);
    case 0x1D:
        return plain(Quantity::ResponseDelay);
    case 0x1E:
        return plain(Quantity::Retry);
    case 0x20:
        return plain(Quantity::FirstStorageNumber);
    case 0x21:
        return plain(Quantity::LastStorageNumber);
    case 0x22:
        return plain(Quantity::StorageBlockSize);
    case 0x28:
        return number(Quantity::StorageInterval, kMonth, 0);
    case 0x29:
        return number(Quantity::StorageInterval, kYear, 0);
    case 0x30:
        return plain(Quantity::TariffStart, ValueType::DateTime);
    case 0x38:
        return number(Quantity::TariffPeriod, kMonth, 0);
    case 0x39:
        return number(Quantity::TariffPeriod, kYear, 0);
    case 0x3A:
        return plain(Quantity::Dimensionless);
    case 0x60:
        return plain(Quantity::ResetCounter);
    case 0x61:
        return plain(Quantity::CumulationCounter);
    case 0x62:
        return plain(Quantity::ControlSignal, ValueType::Flags);
    case 0x63:
        return plain(Quantity::DayOfWeek);
    case 0x64:
        return plain(Quantity::WeekNumber);
    case 0x65:
        return plain(Quantity::DayChangeTime, ValueType::DateTime);
    case 0x66:
        return plain(Quantity::ParameterActivationState, ValueType::Flags);
    case 0x67:
        return plain(Quantity::SpecialSupplierInformation);
    case 0x70:
        return plain(Quantity::BatteryChangeDate, ValueType::DateTime);
    case 0x71:
        return number(Quantity::RfLevel, kDbm, 0);
    case 0x72:
        return plain(Quantity::DaylightSaving, ValueType::Raw);
    case 0x73:
        return plain(Quantity::ListeningWindow, ValueType::Raw);
    case 0x74:
        return number(Quantity::RemainingBatteryLife, kS, 0, 86400.0);
    case 0x75:
        return plain(Quantity::MeterStopCount);
    case 0x76:
        return plain(Quantity::ManufacturerContainer, ValueType::Raw);
    default:
        return reserved();
    }
}

VifMeaning extensionFbVif(uint8_t codeByte) {
    const int code = codeByte & 0x7F;
    const int n1 = code & 0x01;
    const int n2 = code & 0x03;
    switch (code) {
    case 0x00:
    case 0x01: // 10^(n-1) MWh
        return number(Quantity::Energy, kWh, n1 + 5);
    case 0x08:
    case 0x09: // 10^(n-1) GJ
        return number(Quantity::Energy, kJ, n1 + 8);
    case 0x10:
    case 0x11: // 10^(n+2) m^3
        return number(Quantity::Volume, kM3, n1 + 2);
    case 0x18:
    case 0x19: // 10^(n+2) t
        return number(Quantity::Mass, kKg, n1 + 5);
    case 0x21:
        return number(Quantity::Volume, kM3, -1, kCubicFoot);
    case 0x22:
        return number(Quantity::Volume, kM3, -1, kUsGallon);
    case 0x23:
        return number(Quantity::Volume, kM3, 0, kUsGallon);
    case 0x24: // 0.001 US gallon per minute
        return number(Quantity::VolumeFlow, kM3h, -3, kUsGallon * 60.0);
    case 0x25:
        return number(Quantity::VolumeFlow, kM3h, 0, kUsGallon * 60.0);
    case 0x26:
        return number(Quantity::VolumeFlow, kM3h, 0, kUsGallon);
    case 0x28:
    case 0x29: // 10^(n-1) MW
        return number(Quantity::Power, kW, n1 + 5);
    case 0x30:
    case 0x31: // 10^(n-1) GJ/h
        return number(Quantity::Power, kJh, n1 + 8);
    default:
        break;
    }
    if (code >= 0x58 && code < 0x5C) {
        return fahrenheit(Quantity::FlowTemperature, n2);
    }
    if (code >= 0x5C && code < 0x60) {
        return fahrenheit(Quantity::ReturnTemperature, n2);
    }
    if (code >= 0x60 && code < 0x64) { // a difference: no offset
        return number(Quantity::TemperatureDifference, kKelvin, n2 - 3, 5.0 / 9.0);
    }
    if (code >= 0x64 && code < 0x68) {
        return fahrenheit(Quantity::ExternalTemperature, n2);
    }
    if (code >= 0x70 && code < 0x74) {
        return fahrenheit(Quantity::TemperatureLimit, n2);
    }
    if (code >= 0x74 && code < 0x78) {
        return number(Quantity::TemperatureLimit, kCelsius, n2 - 3);
    }
    if (code >= 0x78) {
        return number(Quantity::CumulativeMaxPower, kW, (code & 0x07) - 3);
    }
    return reserved();
}

VifeEffect combinableVife(uint8_t codeByte, bool toDevice) {
    const int code = codeByte & 0x7F;
    VifeEffect e;
    if (code < 0x20) {
        e.qualifier = toDevice ? Qualifier::ObjectAction : Qualifier::ErrorCode;
        e.param = code;
        return e;
    }
    if (code < 0x27) {
        static constexpr const char* kPer[] = {"/s",    "/min",   "/h",   "/d",
                                               "/week", "/month", "/year"};
        e.qualifier = Qualifier::PerTime;
        e.param = code - 0x20;
        e.unitSuffix = kPer[e.param];
        return e;
    }
    if (code >= 0x2C && code <= 0x35) {
        static constexpr const char* kPer[] = {"/l",  "/m^3", "/kg",    "/K", "/kWh",
                                               "/GJ", "/kW",  "/(K*l)", "/V", "/A"};
        e.qualifier = Qualifier::PerUnit;
        e.param = code - 0x2C;
        e.unitSuffix = kPer[e.param];
        return e;
    }
    if (code >= 0x36 && code <= 0x38) {
        static constexpr const char* kTimes[] = {"*s", "*s/V", "*s/A"};
        e.qualifier = Qualifier::TimesUnit;
        e.param = code - 0x36;
        e.unitSuffix = kTimes[e.param];
        return e;
    }
    if (code >= 0x50 && code < 0x60) { // E101 ufnn
        e.qualifier = Qualifier::LimitExceedDuration;
        e.param = (code >> 2) & 0x03;
        e.durationUnit = code & 0x03;
        return e;
    }
    if (code >= 0x60 && code < 0x68) { // E110 0fnn
        e.qualifier = Qualifier::DurationOf;
        e.param = (code >> 2) & 0x01;
        e.durationUnit = code & 0x03;
        return e;
    }
    if (code >= 0x70 && code < 0x78) { // multiplicative correction 10^(nnn-6)
        e.exponent = (code & 0x07) - 6;
        return e;
    }
    if (code >= 0x78 && code < 0x7C) {
        e.qualifier = Qualifier::AdditiveCorrection;
        e.exponent = (code & 0x03) - 3;
        return e;
    }
    switch (code) {
    case 0x27:
        e.qualifier = Qualifier::PerMeasurement;
        e.unitSuffix = "/measurement";
        return e;
    case 0x28:
    case 0x29:
        e.qualifier = Qualifier::PerInputPulse;
        e.param = code & 1;
        e.unitSuffix = "/pulse";
        return e;
    case 0x2A:
    case 0x2B:
        e.qualifier = Qualifier::PerOutputPulse;
        e.param = code & 1;
        e.unitSuffix = "/pulse";
        return e;
    case 0x39:
        e.qualifier = Qualifier::StartDateOf;
        e.makesDate = true;
        return e;
    case 0x3A:
        e.qualifier = Qualifier::UncorrectedUnit;
        return e;
    case 0x3B:
        e.qualifier = Qualifier::AccumulationPositive;
        return e;
    case 0x3C:
        e.qualifier = Qualifier::AccumulationNegative;
        return e;
    case 0x40:
    case 0x48:
        e.qualifier = Qualifier::LimitValue;
        e.param = (code >> 3) & 1;
        return e;
    case 0x41:
    case 0x49:
        e.qualifier = Qualifier::LimitExceedCount;
        e.param = (code >> 3) & 1;
        e.dropsUnit = true;
        return e;
    case 0x42:
    case 0x43:
    case 0x46:
    case 0x47:
    case 0x4A:
    case 0x4B:
    case 0x4E:
    case 0x4F: // E100 uf1b
        e.qualifier = Qualifier::LimitExceedDate;
        e.param = ((code >> 1) & 0x06) | (code & 0x01);
        e.makesDate = true;
        return e;
    case 0x68:
    case 0x6C: // E110 1u00
        e.qualifier = Qualifier::ValueDuringLimitExceed;
        e.param = (code >> 2) & 1;
        return e;
    case 0x6A:
    case 0x6B:
    case 0x6E:
    case 0x6F: // E110 1f1b
        e.qualifier = Qualifier::DateOf;
        e.param = ((code >> 1) & 0x02) | (code & 0x01);
        e.makesDate = true;
        return e;
    case 0x7D:
        e.exponent = 3;
        return e;
    case 0x7E:
        e.qualifier = Qualifier::FutureValue;
        return e;
    case 0x7F:
        e.qualifier = Qualifier::ManufacturerSpecific;
        return e;
    default:
        e.qualifier = Qualifier::Reserved;
        e.param = code;
        return e;
    }
}

VifMeaning fixedStructureUnit(uint8_t codeByte) {
    const int code = codeByte & 0x3F;
    // Time and date counters: their digits as sent.
    if (code == 0x00) {
        return plain(Quantity::TimeOfDay, ValueType::Identifier);
    }
    if (code == 0x01) {
        return plain(Quantity::Date, ValueType::Identifier);
    }
    if (code <= 0x0A) {
        return number(Quantity::Energy, kWh, code - 0x02);
    }
    if (code <= 0x13) {
        return number(Quantity::Energy, kJ, code - 0x0B + 3);
    }
    if (code <= 0x1C) {
        return number(Quantity::Power, kW, code - 0x14);
    }
    if (code <= 0x25) {
        return number(Quantity::Power, kJh, code - 0x1D + 3);
    }
    if (code <= 0x2E) {
        return number(Quantity::Volume, kM3, code - 0x26 - 6);
    }
    if (code <= 0x37) {
        return number(Quantity::VolumeFlow, kM3h, code - 0x2F - 6);
    }
    if (code == 0x38) {
        return number(Quantity::ExternalTemperature, kCelsius, -3);
    }
    if (code == 0x39) {
        return plain(Quantity::HcaUnits);
    }
    if (code == kFixedUnitNone) {
        return plain(Quantity::Counter);
    }
    return reserved();
}

QString quantityId(Quantity quantity) {
    // In the order of the enumeration.
    static constexpr std::array kIds{
        "none",
        "reserved",
        "manufacturer-specific",
        "plain-text",
        "any-vif",
        "energy",
        "volume",
        "mass",
        "on-time",
        "operating-time",
        "power",
        "volume-flow",
        "mass-flow",
        "flow-temperature",
        "return-temperature",
        "temperature-difference",
        "external-temperature",
        "pressure",
        "date",
        "date-time",
        "hca-units",
        "averaging-duration",
        "actuality-duration",
        "fabrication-number",
        "enhanced-identification",
        "bus-address",
        "credit",
        "debit",
        "access-number",
        "medium",
        "manufacturer",
        "parameter-set",
        "model-version",
        "hardware-version",
        "firmware-version",
        "software-version",
        "customer-location",
        "customer",
        "access-code-user",
        "access-code-operator",
        "access-code-system-operator",
        "access-code-developer",
        "password",
        "error-flags",
        "error-mask",
        "digital-output",
        "digital-input",
        "baud-rate",
        "response-delay",
        "retry",
        "first-storage-number",
        "last-storage-number",
        "storage-block-size",
        "storage-interval",
        "duration-since-readout",
        "tariff-start",
        "tariff-duration",
        "tariff-period",
        "dimensionless",
        "voltage",
        "current",
        "reset-counter",
        "cumulation-counter",
        "control-signal",
        "day-of-week",
        "week-number",
        "day-change-time",
        "parameter-activation-state",
        "special-supplier-information",
        "duration-since-cumulation",
        "battery-operating-time",
        "battery-change-date",
        "rf-level",
        "daylight-saving",
        "listening-window",
        "remaining-battery-life",
        "meter-stop-count",
        "manufacturer-container",
        "temperature-limit",
        "cumulative-max-power",
        "counter",
        "time-of-day",
    };
    static_assert(kIds.size() == static_cast<size_t>(Quantity::TimeOfDay) + 1);
    return QString::fromLatin1(kIds[static_cast<size_t>(quantity)]);
}

QString qualifierId(Qualifier qualifier, int param) {
    const auto hex2 = [](int v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')); };
    switch (qualifier) {
    case Qualifier::None:
        return {};
    case Qualifier::Reserved:
        return QStringLiteral("reserved-vife-") + hex2(param);
    case Qualifier::ErrorCode:
        return QStringLiteral("error-") + hex2(param);
    case Qualifier::ObjectAction:
        return QStringLiteral("action-") + hex2(param);
    case Qualifier::PerTime: {
        static constexpr const char* kIds[] = {"per-second", "per-minute", "per-hour", "per-day",
                                               "per-week",   "per-month",  "per-year"};
        return QString::fromLatin1(kIds[param % 7]);
    }
    case Qualifier::PerMeasurement:
        return QStringLiteral("per-measurement");
    case Qualifier::PerInputPulse:
        return QStringLiteral("per-input-pulse-%1").arg(param);
    case Qualifier::PerOutputPulse:
        return QStringLiteral("per-output-pulse-%1").arg(param);
    case Qualifier::PerUnit: {
        static constexpr const char* kIds[] = {
            "per-litre", "per-m3", "per-kg",           "per-kelvin", "per-kwh",
            "per-gj",    "per-kw", "per-kelvin-litre", "per-volt",   "per-ampere"};
        return QString::fromLatin1(kIds[param % 10]);
    }
    case Qualifier::TimesUnit: {
        static constexpr const char* kIds[] = {"times-second", "times-second-per-volt",
                                               "times-second-per-ampere"};
        return QString::fromLatin1(kIds[param % 3]);
    }
    case Qualifier::StartDateOf:
        return QStringLiteral("start-date-of");
    case Qualifier::UncorrectedUnit:
        return QStringLiteral("uncorrected-unit");
    case Qualifier::AccumulationPositive:
        return QStringLiteral("accumulation-positive-only");
    case Qualifier::AccumulationNegative:
        return QStringLiteral("accumulation-abs-negative-only");
    case Qualifier::LimitValue:
        return param ? QStringLiteral("upper-limit") : QStringLiteral("lower-limit");
    case Qualifier::LimitExceedCount:
        return param ? QStringLiteral("upper-limit-exceed-count")
                     : QStringLiteral("lower-limit-exceed-count");
    case Qualifier::LimitExceedDate:
        return QStringLiteral("%1-%2-%3-limit-exceed-date")
            .arg(param & 2 ? QStringLiteral("last") : QStringLiteral("first"),
                 param & 1 ? QStringLiteral("begin") : QStringLiteral("end"),
                 param & 4 ? QStringLiteral("upper") : QStringLiteral("lower"));
    case Qualifier::LimitExceedDuration:
        return QStringLiteral("%1-%2-limit-exceed-duration")
            .arg(param & 1 ? QStringLiteral("last") : QStringLiteral("first"),
                 param & 2 ? QStringLiteral("upper") : QStringLiteral("lower"));
    case Qualifier::DurationOf:
        return param ? QStringLiteral("last-duration") : QStringLiteral("first-duration");
    case Qualifier::ValueDuringLimitExceed:
        return param ? QStringLiteral("value-during-upper-limit-exceed")
                     : QStringLiteral("value-during-lower-limit-exceed");
    case Qualifier::DateOf:
        return QStringLiteral("%1-%2-date")
            .arg(param & 2 ? QStringLiteral("last") : QStringLiteral("first"),
                 param & 1 ? QStringLiteral("begin") : QStringLiteral("end"));
    case Qualifier::AdditiveCorrection:
        return QStringLiteral("additive-correction");
    case Qualifier::FutureValue:
        return QStringLiteral("future-value");
    case Qualifier::ManufacturerSpecific:
        return QStringLiteral("manufacturer-specific");
    }
    return {};
}

} // namespace kestrune::mbus
