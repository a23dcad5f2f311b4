// Reading back a date or a time written with a format string of the class
// library (the system's short date and long time formats, see
// platform/base/datetime.h): the inverse of base::FormatDateTime for the
// numeric fields, month names and AM/PM markers.
#pragma once

#include <string_view>

#include "platform/base/datetime.h"

namespace kv90::storage {

// The date part (format of dates only) or time part (format of times only)
// of `text`; false when the text does not fit the format or names no valid
// date or time.  A format holding both gives both.
bool ParseDateTimeText(std::string_view text, std::string_view format, const base::TFormatSettings& fs,
                       base::TDateTime& out);

}  // namespace kv90::storage
