// Writes reports to standard output the moment they are formatted.
#pragma once

// Turns the report's CR LF line ends into LF, in place, and writes it whole to
// standard output. Returns false (after printing why) when output failed.
bool PrintReport(char* report);
