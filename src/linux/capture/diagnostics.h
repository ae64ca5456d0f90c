// One-line messages on standard error (errors and the start and end notes),
// each starting with the program's name, so standard output holds only reports.
#pragma once

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void PrintMessage(const char* format, ...);
