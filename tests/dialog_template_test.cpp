// The compiled dialog template, read back from this program's own resources:
// a resource-compiler mistake fails here, not on a user's screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "resource.h"

namespace {

// A cursor over the template's WORD-aligned fields.
struct TemplateReader {
    const BYTE* base;
    std::size_t at;

    template <typename T>
    T Read() {
        T value;
        std::memcpy(&value, base + at, sizeof value);
        at += sizeof value;
        return value;
    }
    void AlignTo(std::size_t alignment) { at = (at + alignment - 1) / alignment * alignment; }
    std::string ReadString() {
        std::string text;
        for (WORD c = Read<WORD>(); c != 0; c = Read<WORD>()) text += static_cast<char>(c);
        return text;
    }
    // A class or text field: 0xFFFF and an ordinal, or a string.
    std::string ReadNameOrOrdinal() {
        WORD first;
        std::memcpy(&first, base + at, sizeof first);
        if (first != 0xFFFF) return ReadString();
        at += sizeof first;
        return "#" + std::to_string(Read<WORD>());
    }
};

struct Control {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::string windowClass, text;
};

TEST(DialogTemplate, MainDialogHasTheExactHeaderFontAndControls) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_MAIN), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    ASSERT_NE(found, nullptr);
    TemplateReader r{static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))), 0};
    ASSERT_NE(r.base, nullptr);

    EXPECT_EQ(r.Read<WORD>(), 1);       // version
    EXPECT_EQ(r.Read<WORD>(), 0xFFFF);  // extended template
    EXPECT_EQ(r.Read<DWORD>(), 0u);     // help id
    EXPECT_EQ(r.Read<DWORD>(), 0u);     // extended style
    EXPECT_EQ(r.Read<DWORD>(), 0x80CA08C8u);
    const WORD controlCount = r.Read<WORD>();
    EXPECT_EQ(controlCount, 3);
    EXPECT_EQ(r.Read<short>(), 0);
    EXPECT_EQ(r.Read<short>(), 0);
    EXPECT_EQ(r.Read<short>(), 333);
    EXPECT_EQ(r.Read<short>(), 223);
    EXPECT_EQ(r.ReadNameOrOrdinal(), "");  // no menu
    EXPECT_EQ(r.ReadNameOrOrdinal(), "");  // the default dialog class
    EXPECT_EQ(r.ReadString(), "Dialog");
    EXPECT_EQ(r.Read<WORD>(), 8);      // points
    EXPECT_EQ(r.Read<WORD>(), 400);    // weight
    EXPECT_EQ(r.Read<BYTE>(), 0);      // not italic
    EXPECT_EQ(r.Read<BYTE>(), 1);      // character set
    EXPECT_EQ(r.ReadString(), "MS Shell Dlg");

    const Control expected[] = {
        {0, 0, 0x50010000, 276, 202, 50, 14, IDCANCEL, "#128", "Cancel"},
        {0, 0, 0x50A109C4, 7, 7, 319, 189, IDC_LOG, "#129", ""},
        {0, 0, 0x50010000, 219, 202, 50, 14, IDHELP, "#128", "Help"},
    };
    for (int i = 0; i < controlCount && i < 3; ++i) {
        r.AlignTo(sizeof(DWORD));
        Control c{};
        c.helpId = r.Read<DWORD>();
        c.exStyle = r.Read<DWORD>();
        c.style = r.Read<DWORD>();
        c.x = r.Read<short>();
        c.y = r.Read<short>();
        c.cx = r.Read<short>();
        c.cy = r.Read<short>();
        c.id = r.Read<DWORD>();
        c.windowClass = r.ReadNameOrOrdinal();  // #128 is "button", #129 "edit"
        c.text = r.ReadNameOrOrdinal();
        const WORD extra = r.Read<WORD>();
        r.at += extra;
        const Control& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        EXPECT_EQ(c.helpId, e.helpId);
        EXPECT_EQ(c.exStyle, e.exStyle);
        EXPECT_EQ(c.style, e.style);
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(c.windowClass, e.windowClass);
        EXPECT_EQ(c.text, e.text);
    }
}

TEST(DialogTemplate, BothIconGroupsHoldTheirSizes) {
    for (int id : {IDI_LUMORA, IDI_LUMORA_SMALL}) {
        for (int size : {16, 32}) {
            HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0);
            EXPECT_NE(icon, nullptr) << id << " at " << size;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &info));
            BITMAP bitmap{};
            GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, size);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(static_cast<HICON>(icon));
        }
    }
    HRSRC group = FindResourceA(nullptr, MAKEINTRESOURCEA(IDI_LUMORA), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    ASSERT_NE(group, nullptr);
    const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, group)));
    WORD count;
    std::memcpy(&count, directory + 4, sizeof count);
    EXPECT_EQ(count, 3);  // 16, 32 and 48 px
}

}  // namespace
