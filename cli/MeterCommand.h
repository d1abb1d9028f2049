#pragma once

#include "cli/CliContext.h"
#include "mbus/MeterFeatures.h"

#include <optional>

namespace kestrune::cli {

// meter OPERATION: one operation of the meter page on one meter, addressed
// by --address or --secondary, printing the page's information box text.
Command meterCommand();

// A secondary address as the read report prints it,
// "identification.manufacturer.version.medium" (or with commas); parts left
// out are wildcards. Empty and error set for a part too long or with a
// character that does not belong there.
struct SecondaryMask {
    QString id, manufacturer, version, medium;
};
std::optional<SecondaryMask> parseSecondaryMask(const QString& text, QString& error);

// What the operation words and the options ask for, as the page's Apply
// would get it. Empty and error set for bad input.
std::optional<ApplyInput> meterApplyInput(const QStringList& arguments, const QString& address,
                                          const QString& secondary, const QString& fabrication,
                                          bool alwaysInit, bool alwaysReset, const QString& subcode,
                                          QString& error);

} // namespace kestrune::cli
