// The captions of a process's visible top-level windows: what the dialog tests and
// the dialog driver report when the window they wait for does not come.
#ifndef VELMOR_TEST_VISIBLE_CAPTIONS_H
#define VELMOR_TEST_VISIBLE_CAPTIONS_H

#include <windows.h>
#include <string>

namespace velmor::test {

struct CaptionSearch {
    DWORD processId;
    std::string captions;
};

inline BOOL CALLBACK NoteVisibleCaption(HWND window, LPARAM param)
{
    CaptionSearch &search = *reinterpret_cast<CaptionSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window)) {
        char text[256] = "";
        GetWindowTextA(window, text, sizeof text);
        search.captions += (search.captions.empty() ? "\"" : ", \"") + std::string(text) + "\"";
    }
    return TRUE;
}

// Each caption quoted, separated by ", "; empty when the process shows no window.
inline std::string VisibleCaptions(DWORD processId)
{
    CaptionSearch search{processId, ""};
    EnumWindows(NoteVisibleCaption, reinterpret_cast<LPARAM>(&search));
    return search.captions;
}

} // namespace velmor::test

#endif
