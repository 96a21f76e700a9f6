#include "uSetLanguage.h"

#include "bootstrap/engineTexts.h"
#include "bootstrap/startupWindows.h"

namespace quillon {

namespace {

struct FormState {
    HWND combo = nullptr;
    bool closed = false;
    std::optional<size_t> chosen;
};

FormState* stateOf(HWND window) {
    return reinterpret_cast<FormState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK formProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FormState* state = stateOf(window);
    if (!state) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case DM_GETDEFID:
        return MAKELRESULT(TSetLanguage::BitBtn1, DC_HASDEFID);
    case WM_COMMAND:
        if (LOWORD(wParam) == TSetLanguage::BitBtn1 && HIWORD(wParam) == BN_CLICKED) {
            LRESULT item = SendMessageA(state->combo, CB_GETCURSEL, 0, 0);
            if (item != CB_ERR) state->chosen = static_cast<size_t>(item);
            state->closed = true;
            return 0;
        }
        if (LOWORD(wParam) == TSetLanguage::BitBtn2 && HIWORD(wParam) == BN_CLICKED) {
            state->closed = true;
            return 0;
        }
        break;
    case WM_CLOSE: // the caption's close button cancels
        state->closed = true;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

std::optional<size_t> TSetLanguage::choose(const std::vector<std::string>& languages, size_t preselected) {
    // Dialog border: caption and system menu, no minimise or maximise buttons, not sizeable.
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    HWND form = createStartupWindow("TSetLanguage", "SetLanguage", style,
                                    WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, formProcedure);
    SendMessageA(form, WM_SETFONT, reinterpret_cast<WPARAM>(startupFont()), FALSE);
    setClientSize(form, ClientWidth, ClientHeight);
    centreStartupWindow(form);

    FormState state;
    HWND label = createControl(form, "STATIC", WS_VISIBLE | SS_LEFT, Label1, 56, 16, 169, 33);
    createVersionIcons(form, Image1, Image2);
    // The height given to a drop-down list is that of its open list.
    state.combo = createControl(form, "COMBOBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                                LangCombo, 56, 56, 169, 160);
    HWND ok =
        createControl(form, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, BitBtn1, 72, 92, 75, 25);
    HWND cancel =
        createControl(form, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, BitBtn2, 150, 92, 75, 25);
    for (const std::string& language : languages)
        SendMessageA(state.combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(language.c_str()));
    SendMessageA(state.combo, CB_SETCURSEL, preselected, 0);

    SetWindowTextA(form, engineText(EngineText::SelectSetupLanguage).c_str());
    SetWindowTextA(label, engineText(EngineText::SelectLanguagePrompt).c_str());
    SetWindowTextA(ok, engineText(EngineText::Ok).c_str());
    SetWindowTextA(cancel, engineText(EngineText::Cancel).c_str());

    SetWindowLongPtrA(form, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    ShowWindow(form, SW_SHOW);
    SetForegroundWindow(form);
    SetFocus(state.combo);

    MSG message;
    while (!state.closed) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            // A quit request ends the form as a cancel and stays for the loop that asked for it.
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
            state.chosen.reset();
            break;
        }
        if (IsDialogMessageA(form, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    SetWindowLongPtrA(form, GWLP_USERDATA, 0);
    DestroyWindow(form);
    return state.chosen;
}

} // namespace quillon
