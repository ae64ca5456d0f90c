#include "ui/text_copy.h"

void CopyTextBounded(char* dest, const char* source, int maxBytes, UINT codePage) {
    int length = 0;
    while (source != nullptr && source[length] != '\0' && length < maxBytes) {
        const bool lead = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(source[length])) != FALSE;
        if (!lead) {
            ++length;
            continue;
        }
        // A lead byte with no room for its trail, or with no trail at all.
        if (length + 1 >= maxBytes || source[length + 1] == '\0') break;
        length += 2;
    }
    for (int i = 0; i < length; ++i) dest[i] = source[i];
    dest[length] = '\0';
}
