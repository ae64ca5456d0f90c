// The one writer and its escapers: what JSON and the line forms make of any
// bytes, and no byte written past the buffer.
#include "base/text_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace text_writer;

std::string Written(void (*put)(TextWriter&, const char*), const char* text) {
    std::vector<char> buffer(256);
    TextWriter out = WriterOn(buffer.data(), static_cast<int>(buffer.size()));
    put(out, text);
    return Finish(out) < 0 ? "<full>" : buffer.data();
}

// JSON escapes what JSON needs and keeps it valid UTF-8; a name in a line
// escapes what would break the line or the word, other line text controls only.
TEST(TextWriter, EachEscaperOnAnyBytes) {
    const char* const cases[][4] = {
        // text, JSON, name, line text
        {"", "null", "-", ""},
        {"we\"ird\\0", "\"we\\\"ird\\\\0\"", "we\"ird\\x5c0", "we\"ird\\0"},
        {"a\tb\x01\x1f", "\"a\\u0009b\\u0001\\u001f\"", "a\\x09b\\x01\\x1f", "a\\x09b\\x01\\x1f"},
        {"a b\x7f", "\"a b\x7f\"", "a\\x20b\\x7f", "a b\\x7f"},
        {"br-\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"br-\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"",
         "br-\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "br-\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"},
        {"if\xff", "\"if\\u00ff\"", "if\xff", "if\xff"},                                   // stray byte
        {"\xe0\x80\x80", "\"\\u00e0\\u0080\\u0080\"", "\xe0\x80\x80", "\xe0\x80\x80"},           // overlong
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\"", "\xed\xa0\x80", "\xed\xa0\x80"},           // surrogate
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\"", "\xf4\x90\x80\x80", "\xf4\x90\x80\x80"},  // past U+10FFFF
        {"x\xe2\x82", "\"x\\u00e2\\u0082\"", "x\xe2\x82", "x\xe2\x82"},                       // cut at the end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Written(PutJsonOptional, c[0]), c[1]);
        EXPECT_EQ(Written(PutLineName, c[0]), c[2]);
        EXPECT_EQ(Written(PutLineText, c[0]), c[3]);
    }
}

// Every buffer size up to the needed one fails with "", the next gives the
// whole text, and none is written past.
TEST(TextWriter, TooSmallBuffersFailWithoutOverrun) {
    const std::string whole = "{\"name\":\"we\\\"ird\\u00ff\",\"count\":12}";
    for (int size = 0; size <= static_cast<int>(whole.size()) + 1; ++size) {
        std::vector<char> text(static_cast<std::size_t>(size) + 8, '#');
        TextWriter out = WriterOn(text.data(), size);
        PutText(out, "{\"name\":");
        PutJsonString(out, "we\"ird\xff");
        PutJsonNumberKey(out, "count", 12);
        PutChar(out, '}');
        const bool fits = size > static_cast<int>(whole.size());
        EXPECT_EQ(Finish(out), fits ? static_cast<int>(whole.size()) : -1) << size;
        if (size > 0) EXPECT_EQ(std::string(text.data()), fits ? whole : "") << size;
        EXPECT_EQ(std::string(text.begin() + size, text.end()), "########") << size;
    }
}

}  // namespace
