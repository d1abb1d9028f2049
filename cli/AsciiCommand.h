#pragma once

#include "cli/CliContext.h"

#include <optional>

namespace kestrune::cli {

// ascii read TAG...: reads each tag with the ASCII protocol (--station,
// --protocol) and prints its value or the error text; ascii tags FILE: lists
// the tags a tag file holds (--layout). --json prints one object a tag (read)
// or one object for the file (tags).
Command asciiCommand();

// The tag-file layout named by --layout ("0", "1", "2"), or when the option
// is absent the one the first line suggests: 2 when it begins with
// "[item]", 1 when it begins with "[", else 0. Empty for any other value.
std::optional<int> tagLayoutFor(const QString& option, bool given, QByteArrayView firstLine);

} // namespace kestrune::cli
