#include "prompt_checks.h"

#include "contract.h"
#include "prompt_ids.h"
#include "test_support.h"
#include "tray_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

HWND open_prompt(const prompt_target& target, const prompt_texts& texts,
                 const std::vector<HWND>& open)
{
    EXPECT_TRUE(PostMessageA(target.window, WM_SHOW_UPGRADE_PROMPT, 0, 0));
    std::vector<HWND> prompts =
        td::wait_windows(target.thread, PROMPT_CAPTION, open.size() + 1);
    HWND prompt = nullptr;
    for (HWND candidate : prompts) {
        if (std::find(open.begin(), open.end(), candidate) == open.end())
            prompt = candidate;
    }
    if (!prompt) {
        ADD_FAILURE() << "no new prompt";
        return nullptr;
    }
    EXPECT_EQ(texts.install, td::control_text(prompt, IDC_UPGRADE_INSTALL));
    EXPECT_EQ(texts.later, td::control_text(prompt, IDC_UPGRADE_LATER));
    EXPECT_EQ(texts.question, td::control_text(prompt, IDC_UPGRADE_TEXT));
    EXPECT_EQ(target.window, GetWindow(prompt, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(target.window)) << "the owner is disabled while modal";

    RECT area = td::work_area();
    RECT placed = {};
    EXPECT_TRUE(ts::wait_until(
        [&] {
            GetWindowRect(prompt, &placed);
            return placed.right == area.right && placed.bottom == area.bottom;
        },
        3000))
        << "prompt at " << placed.left << "," << placed.top << "-" << placed.right << ","
        << placed.bottom << ", work area ends at " << area.right << "," << area.bottom;

    HWND install = GetDlgItem(prompt, IDC_UPGRADE_INSTALL);
    EXPECT_TRUE(ts::wait_until([&] { return td::focus_of(target.thread) == install; }, 3000))
        << "focus on " << td::focus_of(target.thread);
    return prompt;
}

void close_prompt(HWND prompt, close_way way)
{
    switch (way) {
    case CLOSE_INSTALL:
        PostMessageA(GetDlgItem(prompt, IDC_UPGRADE_INSTALL), BM_CLICK, 0, 0);
        break;
    case CLOSE_LATER:
        PostMessageA(GetDlgItem(prompt, IDC_UPGRADE_LATER), BM_CLICK, 0, 0);
        break;
    case CLOSE_ESCAPE: {
        // The key goes to the prompt's control that has the focus (after a
        // prompt over it closed, the focus is elsewhere: as if clicked first).
        HWND focus = td::focus_of(GetWindowThreadProcessId(prompt, nullptr));
        HWND to = IsChild(prompt, focus) ? focus : prompt;
        PostMessageA(to, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(to, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        break;
    }
    case CLOSE_BOX: {
        // A click on the close box through X, where the Wine desktop covers
        // the screen; else the command the click makes.
        RECT frame = {};
        GetWindowRect(prompt, &frame);
        int x = frame.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSIZE) / 2;
        int y = frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYSIZE) / 2;
        if (!td::click_at(x, y))
            PostMessageA(prompt, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    }
    EXPECT_TRUE(td::wait_gone(prompt)) << "prompt still open";
}

void expect_window_answers(const prompt_target& target, size_t log_lines_before)
{
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutA(target.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_TRUE(PostMessageA(target.window, WM_HIBERNATE_ASKED, 0, 0));
    EXPECT_TRUE(td::wait_log_lines(log_lines_before + 1));
    std::vector<std::string> lines = logs::tray_log_messages();
    ASSERT_EQ(log_lines_before + 1, lines.size());
    EXPECT_EQ(LOG_HIBERNATE_ASKED, lines.back());
}

namespace {

// Reads a DLGTEMPLATEEX in order.
struct template_reader {
    const BYTE* p;
    const BYTE* end;
    bool ok = true;

    template <typename T>
    T take()
    {
        T value = T();
        if (p + sizeof(T) > end) {
            ok = false;
            return value;
        }
        memcpy(&value, p, sizeof(T));
        p += sizeof(T);
        return value;
    }
    std::string text()   // a string, or "#n" for an ordinal
    {
        WORD first = take<WORD>();
        if (first == 0xFFFF)
            return "#" + std::to_string(take<WORD>());
        std::string out;
        for (WORD c = first; ok && c; c = take<WORD>())
            out += c < 128 ? static_cast<char>(c) : '?';
        return out;
    }
    void align(const BYTE* base)
    {
        while ((p - base) % 4)
            ++p;
    }
};

} // namespace

void expect_prompt_template(HMODULE module)
{
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                  MAKEINTRESOURCEA(IDD_UPGRADE_PROMPT),
                                  MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    ASSERT_TRUE(found != nullptr) << "dialog 130 in language 0x804";
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_TRUE(base != nullptr);
    template_reader r = {base, base + SizeofResource(module, found)};

    EXPECT_EQ(1, r.take<WORD>());
    EXPECT_EQ(0xFFFF, r.take<WORD>());
    EXPECT_EQ(0u, r.take<DWORD>());   // help id
    EXPECT_EQ(0u, r.take<DWORD>());   // extended style
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                 WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS |
                                 DS_SYSMODAL),
              r.take<DWORD>());
    ASSERT_EQ(3, r.take<WORD>());
    short frame[4];
    for (short& v : frame)
        v = r.take<short>();
    EXPECT_EQ(0, frame[0]);
    EXPECT_EQ(0, frame[1]);
    EXPECT_EQ(234, frame[2]);
    EXPECT_EQ(54, frame[3]);
    EXPECT_EQ("", r.text());   // menu
    EXPECT_EQ("", r.text());   // class
    EXPECT_EQ(PROMPT_CAPTION, r.text());
    EXPECT_EQ(8, r.take<WORD>());
    EXPECT_EQ(400, r.take<WORD>());
    EXPECT_EQ(0, r.take<BYTE>());   // italic
    EXPECT_EQ(0, r.take<BYTE>());   // character set
    EXPECT_EQ("MS Shell Dlg", r.text());

    const DWORD child = WS_CHILD | WS_VISIBLE;
    struct {
        DWORD id;
        const char* cls;
        DWORD style;
        short x, y, cx, cy;
        const char* text;
    } items[] = {
        {IDC_UPGRADE_INSTALL, "#128", child | WS_TABSTOP | BS_PUSHBUTTON, 100, 33, 57, 14,
         PROMPT_TEMPLATE_INSTALL},
        {IDC_UPGRADE_LATER, "#128", child | WS_TABSTOP | BS_PUSHBUTTON, 169, 33, 58, 14,
         PROMPT_TEMPLATE_LATER},
        {IDC_UPGRADE_TEXT, "#130", child | WS_GROUP | SS_LEFT, 9, 11, 210, 19,
         PROMPT_TEMPLATE_QUESTION},
    };
    for (const auto& item : items) {
        r.align(base);
        SCOPED_TRACE(item.id);
        EXPECT_EQ(0u, r.take<DWORD>());   // help id
        EXPECT_EQ(0u, r.take<DWORD>());   // extended style
        EXPECT_EQ(item.style, r.take<DWORD>());
        EXPECT_EQ(item.x, r.take<short>());
        EXPECT_EQ(item.y, r.take<short>());
        EXPECT_EQ(item.cx, r.take<short>());
        EXPECT_EQ(item.cy, r.take<short>());
        EXPECT_EQ(item.id, r.take<DWORD>());
        EXPECT_EQ(item.cls, r.text());
        EXPECT_EQ(item.text, r.text());
        EXPECT_EQ(0, r.take<WORD>());   // no creation data
    }
    EXPECT_TRUE(r.ok) << "template shorter than its contents";
}
