// Writes reports to standard output the moment they are formatted.
#pragma once

enum class Written {
    kWhole,
    kReaderGone,  // its reader closed standard output (head, grep -m 1): no error, nothing said
    kFailed,      // after one line saying why
};

// Turns the report's CR LF line ends into LF, in place, and writes it whole to
// standard output.
Written PrintReport(char* report);
