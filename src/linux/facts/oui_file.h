// The IEEE registry files of Debian's ieee-data, read into memory whole for
// oui_registry to index.
#pragma once

#include <cstddef>
#include <vector>

// MA-L, MA-M, MA-S and IAB blocks, all in one CSV form.
inline constexpr const char* kOuiRegistryFiles[] = {
    "/usr/share/ieee-data/oui.csv", "/usr/share/ieee-data/mam.csv", "/usr/share/ieee-data/oui36.csv",
    "/usr/share/ieee-data/iab.csv"};

// Some ten times what the files hold together: a wrong path (a device, a
// huge file) is refused rather than read.
inline constexpr std::size_t kOuiTextLimit = std::size_t{64} << 20;

// Appends the file's bytes to *text and a line end, so that the next file's
// first record starts a line. False, *text as it was, when the file cannot
// be read whole or *text would grow past kOuiTextLimit.
bool ReadOuiFile(const char* path, std::vector<char>* text);
