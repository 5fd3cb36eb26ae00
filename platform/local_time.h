#pragma once

namespace qlx {

// A date and time as the machine's clock shows it in its own time zone.
struct LocalTime {
    int year = 2010;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Now, local time.
[[nodiscard]] LocalTime localTimeNow();

} // namespace qlx
