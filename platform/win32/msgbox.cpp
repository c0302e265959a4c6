#include <windows.h>

#include <cstdio>
#include <mutex>

#include "machine/message_boxes.h"

namespace {

std::mutex g_mutex;
std::vector<winsim::MessageBoxRecord> g_boxes;
winsim::MessageBoxHandler g_handler;

// The button a user who only presses Enter would choose.
int DefaultAnswer(UINT style) {
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
    };
    UINT type = style & MB_TYPEMASK;
    UINT button = (style & MB_DEFMASK) >> 8;
    if (type > 5) type = 0;
    if (button > 2) button = 0;
    return kButtons[type][button];
}

}  // namespace

namespace winsim {

std::vector<MessageBoxRecord> MessageBoxes() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_boxes;
}

void ClearMessageBoxes() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_boxes.clear();
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handler = std::move(handler);
}

}  // namespace winsim

int WINAPI MessageBoxExA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType, WORD) {
    winsim::MessageBoxRecord box;
    box.owner = hWnd;
    box.caption = lpCaption ? lpCaption : "Error";  // Windows' caption when none is given
    box.text = lpText ? lpText : "";
    box.style = uType;
    winsim::MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        handler = g_handler;
    }
    if (handler) {
        box.answer = handler(box);
    } else {
        box.answer = DefaultAnswer(uType);
        std::fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
        std::fflush(stderr);
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_boxes.push_back(box);
    return box.answer;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    return MessageBoxExA(hWnd, lpText, lpCaption, uType, 0);
}
