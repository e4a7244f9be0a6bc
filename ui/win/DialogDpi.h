#pragma once
#include <windows.h>

#include "ui/win/WindowDpi.h"

// Dialogs follow the DPI of the screen they are on. Moved to a screen of
// another DPI, a dialog takes the window rectangle that the system suggests;
// its controls keep their places and sizes in proportion, those in the
// dialog's font get that font made for the new DPI, and list views' columns
// keep their share of the width. Each dialog then re-makes what it drew for
// itself (its own fonts, row heights) when its handler sees WM_DPICHANGED.

// The dialog's part of WM_DPICHANGED (true: the message was taken) and of
// WM_NCDESTROY (frees what a change made); every other message is left.
bool FollowScreenDpi(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The DPI the dialog is laid out for: its screen's until it followed a change.
int DialogDpi(HWND dialog);

// The dialog's font at DialogDpi: the template's until a change.
HFONT DialogFont(HWND dialog);

// Makes `font` for `dpi`, `height` pixels high at 96 DPI, and frees the one
// it held; that one stays when no font can be made.
void MakeFontForDpi(HFONT& font, int height, const char* face, int dpi);
