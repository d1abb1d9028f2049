#pragma once

#include <QString>

#include <cstdint>

// What the value information of an M-Bus data record means: the primary VIF
// table, the two extension tables reached through FD and FB, the combinable
// VIFE table, and the unit table of the fixed data structure. Every lookup
// gives the quantity, the unit after normalisation (Wh, J, m^3, kg, W, J/h,
// m^3/h, kg/h, °C, K, bar, s, V, A, ...) and how the raw number is scaled
// into that unit. Reserved codes come back as Quantity::Reserved, so the
// caller can show the raw bytes instead of guessing.
namespace kestrune::mbus {

// What a record measures. The order carries no meaning; the stable name of
// each quantity (quantityId) is what files and scripts see.
enum class Quantity : uint8_t {
    None, // no value information (special functions, global readout)
    Reserved,
    ManufacturerSpecific,
    PlainText, // the unit is a text the meter sends along
    AnyVif,    // "any VIF", used when asking for a readout
    // Primary table
    Energy,
    Volume,
    Mass,
    OnTime,
    OperatingTime,
    Power,
    VolumeFlow,
    MassFlow,
    FlowTemperature,
    ReturnTemperature,
    TemperatureDifference,
    ExternalTemperature,
    Pressure,
    Date,
    DateTime,
    HcaUnits,
    AveragingDuration,
    ActualityDuration,
    FabricationNumber,
    EnhancedIdentification,
    BusAddress,
    // Extension table FD
    Credit,
    Debit,
    AccessNumber,
    Medium,
    Manufacturer,
    ParameterSet,
    ModelVersion,
    HardwareVersion,
    FirmwareVersion,
    SoftwareVersion,
    CustomerLocation,
    Customer,
    AccessCodeUser,
    AccessCodeOperator,
    AccessCodeSystemOperator,
    AccessCodeDeveloper,
    Password,
    ErrorFlags,
    ErrorMask,
    DigitalOutput,
    DigitalInput,
    BaudRate,
    ResponseDelay,
    Retry,
    FirstStorageNumber,
    LastStorageNumber,
    StorageBlockSize,
    StorageInterval,
    DurationSinceReadout,
    TariffStart,
    TariffDuration,
    TariffPeriod,
    Dimensionless,
    Voltage,
    Current,
    ResetCounter,
    CumulationCounter,
    ControlSignal,
    DayOfWeek,
    WeekNumber,
    DayChangeTime,
    ParameterActivationState,
    SpecialSupplierInformation,
    DurationSinceCumulation,
    BatteryOperatingTime,
    BatteryChangeDate,
    RfLevel,
    DaylightSaving,
    ListeningWindow,
    RemainingBatteryLife,
    MeterStopCount,
    ManufacturerContainer,
    // Extension table FB
    TemperatureLimit,
    CumulativeMaxPower,
    // Fixed data structure
    Counter, // a counter without unit
    TimeOfDay,
};

// How the data of a record are to be read, beyond what the DIF says.
enum class ValueType : uint8_t {
    Number,     // a number scaled into the unit
    Date,       // type G (2 bytes); longer data as type F or I
    DateTime,   // type F (4 bytes), I (6 bytes), or J (3 bytes, time of day)
    Identifier, // digits as sent (BCD) or the decimal of a binary number; never scaled
    Flags,      // bits: the unsigned number, shown with its hexadecimal digits
    Raw,        // reserved code: the bytes as sent
};

// What one VIF (or one code of an extension table) says.
struct VifMeaning {
    Quantity quantity = Quantity::Reserved;
    const char* unit = ""; // normalised unit symbol, UTF-8; "" for none
    int exponent = 0;      // value = raw * factor * 10^exponent + offset
    double factor = 1.0;
    double offset = 0.0;
    ValueType type = ValueType::Number;
};

// The primary table, by the seven low bits of the VIF. The codes that lead
// elsewhere (7B, 7C, 7D, 7E, 7F) give their own quantity (FB and FD give
// Reserved; the decoder reads the extension byte instead).
VifMeaning primaryVif(uint8_t vif);
// The extension table after VIF FD, by the seven low bits of the first VIFE.
VifMeaning extensionFdVif(uint8_t code);
// The extension table after VIF FB, by the seven low bits of the first VIFE.
VifMeaning extensionFbVif(uint8_t code);

// How a combinable VIFE changes the meaning of a record.
enum class Qualifier : uint8_t {
    None,
    Reserved,               // a reserved VIFE code
    ErrorCode,              // param: the code 00..1F (slave to master)
    ObjectAction,           // param: the code 00..1F (master to slave)
    PerTime,                // param: 0 s, 1 min, 2 h, 3 d, 4 week, 5 month, 6 year
    PerMeasurement,         // per revolution / measurement
    PerInputPulse,          // param: channel
    PerOutputPulse,         // param: channel
    PerUnit,                // param: 0 l, 1 m^3, 2 kg, 3 K, 4 kWh, 5 GJ, 6 kW, 7 K*l, 8 V, 9 A
    TimesUnit,              // param: 0 s, 1 s/V, 2 s/A
    StartDateOf,            // start date(/time) of
    UncorrectedUnit,        // the VIF names the uncorrected unit
    AccumulationPositive,   // accumulation only if positive contributions
    AccumulationNegative,   // accumulation of abs value only if negative contributions
    LimitValue,             // param: 0 lower, 1 upper
    LimitExceedCount,       // param: 0 lower, 1 upper
    LimitExceedDate,        // param: bit 2 upper, bit 1 last, bit 0 begin
    LimitExceedDuration,    // param: bit 1 upper, bit 0 last
    DurationOf,             // param: 1 last, 0 first
    ValueDuringLimitExceed, // param: 0 lower, 1 upper
    DateOf,                 // param: bit 1 last, bit 0 begin
    AdditiveCorrection,     // the value is an additive correction constant
    FutureValue,
    ManufacturerSpecific, // the following VIFEs and the data are the manufacturer's
};

struct VifeEffect {
    Qualifier qualifier = Qualifier::None;
    int param = 0;
    int exponent = 0;            // added to the record's power of ten
    const char* unitSuffix = ""; // appended to the unit ("/h")
    int durationUnit = -1;       // 0..3: the value becomes a duration (s, min, h, d)
    bool makesDate = false;      // the value becomes a date or date and time
    bool dropsUnit = false;      // the value becomes a count
};

// One combinable (orthogonal) VIFE, by its seven low bits. toDevice: the
// record travels from the master to the meter (codes 00..1F are actions
// then, not errors).
VifeEffect combinableVife(uint8_t code, bool toDevice);

// Multipliers of the four time units of nn / pp fields, in seconds.
inline constexpr double kSecondsPer[4] = {1.0, 60.0, 3600.0, 86400.0};

// ---- Fixed data structure ---------------------------------------------------

// The unit code (six bits) of a counter in the fixed data structure.
VifMeaning fixedStructureUnit(uint8_t code);
// Code 3E: counter 2 has counter 1's unit and holds a value of the past.
inline constexpr uint8_t kFixedUnitSameHistoric = 0x3E;
inline constexpr uint8_t kFixedUnitNone = 0x3F;

// ---- Stable names -------------------------------------------------------------

// The stable English name of a quantity ("energy", "volume-flow", ...), for
// files and scripts; never translated.
QString quantityId(Quantity quantity);
// The stable name of a qualifier ("per-hour", "date-of", ...).
QString qualifierId(Qualifier qualifier, int param);

} // namespace kestrune::mbus
