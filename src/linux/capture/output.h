// The one path every command's output takes to standard output: each text
// written whole the moment it is ready, a reader that went away (head, grep
// -m 1) ending the run quietly, and any other failure said in one line.
#pragma once

enum class Written {
    kWhole,
    kReaderGone,  // its reader closed standard output: no error, nothing said
    kFailed,      // after one line saying why
};

// Writes text[0, length) whole to `descriptor`.
Written WriteOut(int descriptor, const char* text, int length);

// The text, whole, to standard output.
Written PrintOut(const char* text, int length);

// Turns the report's CR LF line ends into LF, in place, and prints it.
Written PrintReport(char* report);

// What a command exits with once its output went as `written` did: a reader
// that went away is no failure.
int ExitStatusOf(Written written);
