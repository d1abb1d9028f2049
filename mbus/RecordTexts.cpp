#include "mbus/RecordTexts.h"

#include "base/Language.h"
#include "base/TextUtil.h"

#include <QStringList>

namespace kestrune::mbus {

namespace {

// Quantity names follow the order of the enumeration from this number on.
constexpr int TextQuantityBase = 2000; // texts: 2000-2081
constexpr int TextFunctionBase = 2100; // texts: 2100-2106
constexpr int TextReservedVife = 2110;
constexpr int TextPerTime = 2111; // texts: 2111-2117
constexpr int TextPerMeasurement = 2118;
constexpr int TextPerInputPulse = 2119;
constexpr int TextPerOutputPulse = 2120;
constexpr int TextPerUnit = 2121;   // texts: 2121-2130
constexpr int TextTimesUnit = 2131; // texts: 2131-2133
constexpr int TextStartDateOf = 2134;
constexpr int TextUncorrectedUnit = 2135;
constexpr int TextAccumulationPositive = 2136;
constexpr int TextAccumulationNegative = 2137;
constexpr int TextLimitValue = 2138;          // texts: 2138-2139
constexpr int TextLimitExceedCount = 2140;    // texts: 2140-2141
constexpr int TextLimitExceedDate = 2142;     // texts: 2142-2149
constexpr int TextLimitExceedDuration = 2150; // texts: 2150-2153
constexpr int TextDurationOf = 2154;          // texts: 2154-2155
constexpr int TextValueDuringLimit = 2156;    // texts: 2156-2157
constexpr int TextDateOf = 2158;              // texts: 2158-2161
constexpr int TextAdditiveCorrection = 2162;
constexpr int TextFutureValue = 2163;
constexpr int TextManufacturerVife = 2164;
// VIFE error codes (2200 + code) and object actions (2240 + code); the
// codes without a text are reserved.
constexpr int TextErrorCodeFirst = 2201; // texts: 2201-2207, 2211-2215, 2221-2224, 2228
constexpr int TextErrorCodeReserved = 2232;
constexpr int TextActionBase = 2240; // texts: 2240-2249, 2251-2253
constexpr int TextActionReserved = 2272;
constexpr int TextRemarkBase = 2280;           // texts: 2280-2289
constexpr int TextNoteBase = 2300;             // texts: 2300-2311
constexpr int TextApplicationErrorBase = 2320; // texts: 2320-2326, 2328-2330

bool isDefinedErrorCode(int code) {
    return (code >= 1 && code <= 7) || (code >= 0x0B && code <= 0x0F) ||
           (code >= 0x15 && code <= 0x18) || code == 0x1C;
}

bool isDefinedAction(int code) {
    return (code >= 0 && code <= 9) || (code >= 0x0B && code <= 0x0D);
}

QString hex2(int v) {
    return hexPair(static_cast<uint8_t>(v));
}

} // namespace

QString quantityText(Quantity quantity) {
    return getText(TextQuantityBase + static_cast<int>(quantity));
}

QString functionText(RecordFunction function) {
    return getText(TextFunctionBase + static_cast<int>(function));
}

QString qualifierText(const RecordQualifier& q) {
    const int p = q.param;
    switch (q.qualifier) {
    case Qualifier::None:
        return {};
    case Qualifier::Reserved:
        return getText(TextReservedVife).arg(hex2(p));
    case Qualifier::ErrorCode:
        return isDefinedErrorCode(p) ? getText(TextErrorCodeFirst + p - 1)
                                     : getText(TextErrorCodeReserved).arg(hex2(p));
    case Qualifier::ObjectAction:
        return isDefinedAction(p) ? getText(TextActionBase + p)
                                  : getText(TextActionReserved).arg(hex2(p));
    case Qualifier::PerTime:
        return getText(TextPerTime + p % 7);
    case Qualifier::PerMeasurement:
        return getText(TextPerMeasurement);
    case Qualifier::PerInputPulse:
        return getText(TextPerInputPulse).arg(p);
    case Qualifier::PerOutputPulse:
        return getText(TextPerOutputPulse).arg(p);
    case Qualifier::PerUnit:
        return getText(TextPerUnit + p % 10);
    case Qualifier::TimesUnit:
        return getText(TextTimesUnit + p % 3);
    case Qualifier::StartDateOf:
        return getText(TextStartDateOf);
    case Qualifier::UncorrectedUnit:
        return getText(TextUncorrectedUnit);
    case Qualifier::AccumulationPositive:
        return getText(TextAccumulationPositive);
    case Qualifier::AccumulationNegative:
        return getText(TextAccumulationNegative);
    case Qualifier::LimitValue:
        return getText(TextLimitValue + (p & 1));
    case Qualifier::LimitExceedCount:
        return getText(TextLimitExceedCount + (p & 1));
    case Qualifier::LimitExceedDate:
        return getText(TextLimitExceedDate + (p & 7));
    case Qualifier::LimitExceedDuration:
        return getText(TextLimitExceedDuration + (p & 3));
    case Qualifier::DurationOf:
        return getText(TextDurationOf + (p & 1));
    case Qualifier::ValueDuringLimitExceed:
        return getText(TextValueDuringLimit + (p & 1));
    case Qualifier::DateOf:
        return getText(TextDateOf + (p & 3));
    case Qualifier::AdditiveCorrection:
        return getText(TextAdditiveCorrection);
    case Qualifier::FutureValue:
        return getText(TextFutureValue);
    case Qualifier::ManufacturerSpecific:
        return getText(TextManufacturerVife);
    }
    return {};
}

QString recordQuantityText(const DataRecord& record) {
    QStringList parts;
    switch (record.function) {
    case RecordFunction::ManufacturerData:
    case RecordFunction::MoreRecordsFollow:
    case RecordFunction::GlobalReadout:
        return functionText(record.function);
    default:
        break;
    }
    if (record.quantity == Quantity::PlainText) {
        parts << record.plainText;
    } else if (record.quantity == Quantity::Reserved ||
               record.quantity == Quantity::ManufacturerSpecific) {
        // The codes tell such records apart.
        parts << quantityText(record.quantity) + QStringLiteral(" (") + hexPairs(record.vib) +
                     QLatin1Char(')');
    } else {
        parts << quantityText(record.quantity);
    }
    for (const RecordQualifier& q : record.qualifiers) {
        parts << qualifierText(q);
    }
    return parts.join(QStringLiteral(", "));
}

QString recordValueText(const DataRecord& record) {
    if (record.coding == DataCoding::Selection) {
        return getText(TextRemarkBase + 9);
    }
    return record.text;
}

QString recordRemarksText(const DataRecord& record) {
    static constexpr RecordFlag kFlags[] = {
        FlagReservedCode, FlagInvalidDigits,   FlagTimeInvalid,
        FlagSummerTime,   FlagInvalidDate,     FlagTooManyDifes,
        FlagTooManyVifes, FlagTextBeforeVifes, FlagUnexpectedSize,
    };
    QStringList parts;
    for (int i = 0; i < static_cast<int>(std::size(kFlags)); ++i) {
        if (record.has(kFlags[i])) {
            parts << getText(TextRemarkBase + i);
        }
    }
    return parts.join(QStringLiteral("; "));
}

QString applicationErrorText(int code) {
    if (code < 0 || code > 9 || code == 7) {
        return getText(TextApplicationErrorBase + 10).arg(code);
    }
    return getText(TextApplicationErrorBase + code);
}

QString decodeNoteText(const DecodeNote& n) {
    const int base = TextNoteBase;
    switch (n.kind) {
    case DecodeNoteKind::NotLongFrame:
        return getText(base + 0).arg(n.a);
    case DecodeNoteKind::ChecksumMismatch:
        return getText(base + 1).arg(hex2(n.a), hex2(n.b));
    case DecodeNoteKind::StopByteMissing:
        return getText(base + 2).arg(hex2(n.a));
    case DecodeNoteKind::HeaderTooShort:
        return getText(base + 3).arg(n.a).arg(n.b);
    case DecodeNoteKind::NoRecords:
        return getText(base + 4).arg(hex2(n.a));
    case DecodeNoteKind::ApplicationError:
        return n.a < 0 ? getText(base + 6)
                       : getText(base + 5).arg(hex2(n.a), applicationErrorText(n.a));
    case DecodeNoteKind::Alarm:
        return getText(base + 7).arg(n.a < 0 ? QStringLiteral("-") : hex2(n.a));
    case DecodeNoteKind::RecordPastEnd:
        return getText(base + 8).arg(n.record + 1).arg(n.offset + 1).arg(n.a).arg(n.b);
    case DecodeNoteKind::ReservedLvar:
        return getText(base + 9).arg(n.record + 1).arg(hex2(n.a));
    case DecodeNoteKind::ReservedSpecialDif:
        return getText(base + 10).arg(n.record + 1).arg(hex2(n.a));
    case DecodeNoteKind::TrailingBytes:
        return getText(base + 11).arg(n.a);
    }
    return {};
}

} // namespace kestrune::mbus
