// A caller's buffer filled front to back by --merge's writers. Once a piece
// does not fit, nothing more is written and MergeTextFinish fails, so no
// line is ever printed cut short.
#pragma once

struct MergeText {
    char* text;
    int size;
    int length;
    bool full;
};

inline MergeText MergeTextOn(char* text, int size) { return MergeText{text, size, 0, text == nullptr || size <= 0}; }

void MergePut(MergeText* out, const char* piece, int count);
void MergePutText(MergeText* out, const char* piece);
void MergePutChar(MergeText* out, char c);

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void MergePutFormat(MergeText* out, const char* format, ...);

// For the line form: bytes that would break a line (controls, DEL) as \xNN;
// a name (host, interface) also escapes space and backslash, as lumora's
// line form writes an interface.
void MergePutLineText(MergeText* out, const char* text);
void MergePutLineName(MergeText* out, const char* name);

// A JSON string, or null for an empty text. The texts are valid UTF-8 (the
// parser checked them, and copies are cut on character boundaries), so only
// quotes, backslashes and controls need escaping.
void MergePutJsonString(MergeText* out, const char* text);
void MergePutJsonOptional(MergeText* out, const char* text);

// The length written, terminated, or -1 (text then holds "") when it did
// not fit.
int MergeTextFinish(MergeText* out);
