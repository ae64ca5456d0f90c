// The IEEE registry files of Debian's ieee-data, mapped read-only for
// oui_registry to index when the first maker is asked for.
#pragma once

#include <cstddef>

// MA-L, MA-M, MA-S and IAB blocks, all in one CSV form.
inline constexpr const char* kOuiRegistryFiles[] = {
    "/usr/share/ieee-data/oui.csv", "/usr/share/ieee-data/mam.csv", "/usr/share/ieee-data/oui36.csv",
    "/usr/share/ieee-data/iab.csv"};

// Some ten times what the files hold together: a wrong path (a device, a
// huge file) is refused rather than mapped.
inline constexpr std::size_t kOuiTextLimit = std::size_t{64} << 20;

struct MappedText {
    const char* text;  // nullptr: not there, not a regular file, empty or too large
    int length;
};

// Maps the file for the rest of the run.
MappedText MapOuiFile(const char* path);
