#include "ui/win/DialogDpi.h"

#include <commctrl.h>

#include <memory>
#include <vector>

#include "ui/DpiScale.h"
#include "ui/win/WindowDpi.h"

namespace {

constexpr char kLayoutProperty[] = "Velmora.DialogLayout";

RECT ScaleRect(const RECT& rect, int fromDpi, int toDpi) {
  return RECT{ScaleBetweenDpis(rect.left, fromDpi, toDpi), ScaleBetweenDpis(rect.top, fromDpi, toDpi),
              ScaleBetweenDpis(rect.right, fromDpi, toDpi),
              ScaleBetweenDpis(rect.bottom, fromDpi, toDpi)};
}

bool IsClass(HWND window, const char* name) {
  char found[64] = "";
  GetClassNameA(window, found, sizeof found);
  return lstrcmpiA(found, name) == 0;
}

// Where a control stands in the dialog's client area.
RECT PlaceOf(HWND dialog, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int HeightOf(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  return rect.bottom - rect.top;
}

// The columns keep their share of the list: the user may have widened one.
void ScaleColumns(HWND list, int fromDpi, int toDpi) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  int count = header ? (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) : 0;
  for (int column = 0; column < count; ++column) {
    int width = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, column,
                 MAKELPARAM(ScaleBetweenDpis(width, fromDpi, toDpi), 0));
  }
}

// The dialog as it was made, at the DPI it was made for: every later DPI is
// laid out from it, so that moving between screens loses nothing to rounding.
class CDialogLayout {
 public:
  explicit CDialogLayout(HWND dialog);
  ~CDialogLayout();
  CDialogLayout(const CDialogLayout&) = delete;
  CDialogLayout& operator=(const CDialogLayout&) = delete;

  int Dpi() const { return m_nDpi; }
  HFONT Font() const { return m_hFont ? m_hFont : m_hBaseFont; }
  void Follow(int dpi, const RECT& suggested);

 private:
  struct Control {
    HWND hWnd;
    RECT rect;        // in the client area at the base DPI
    bool dialogFont;  // shown in the dialog's font
    // A combo box: its font decides its height, and the height it is given
    // would set the length of its dropped-down list instead.
    bool ownHeight;
  };
  HFONT FontFor(int dpi) const;

  HWND m_hWnd;
  int m_nBaseDpi;
  int m_nDpi;
  HFONT m_hBaseFont;        // the dialog manager's, from the template
  HFONT m_hFont = nullptr;  // made here for a DPI other than the base
  std::vector<Control> m_controls;
};

CDialogLayout::CDialogLayout(HWND dialog)
    : m_hWnd(dialog),
      m_nBaseDpi(WindowDpi(dialog)),
      m_nDpi(m_nBaseDpi),
      m_hBaseFont(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0))) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
    m_controls.push_back({child, PlaceOf(dialog, child), m_hBaseFont && font == m_hBaseFont,
                          IsClass(child, WC_COMBOBOXA)});
  }
}

CDialogLayout::~CDialogLayout() {
  if (m_hFont) DeleteObject(m_hFont);
}

HFONT CDialogLayout::FontFor(int dpi) const {
  LOGFONTA font{};
  if (dpi == m_nBaseDpi || !m_hBaseFont || !GetObjectA(m_hBaseFont, sizeof font, &font))
    return nullptr;
  font.lfHeight = ScaleBetweenDpis(font.lfHeight, m_nBaseDpi, dpi);
  font.lfWidth = ScaleBetweenDpis(font.lfWidth, m_nBaseDpi, dpi);
  return CreateFontIndirectA(&font);
}

// The DPI is set before anything moves: a list view that is resized asks
// its dialog for its row height at once.
void CDialogLayout::Follow(int dpi, const RECT& suggested) {
  int previousDpi = m_nDpi;
  HFONT previousFont = m_hFont;
  m_nDpi = dpi;
  m_hFont = FontFor(dpi);
  SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (const Control& control : m_controls) {
    if (!IsWindow(control.hWnd)) continue;
    if (control.dialogFont)
      SendMessageA(control.hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
    RECT place = ScaleRect(control.rect, m_nBaseDpi, dpi);
    int height = control.ownHeight ? HeightOf(control.hWnd) : place.bottom - place.top;
    SetWindowPos(control.hWnd, nullptr, place.left, place.top, place.right - place.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (IsClass(control.hWnd, WC_LISTVIEWA)) ScaleColumns(control.hWnd, previousDpi, dpi);
  }
  // No control holds the font of the previous DPI any longer.
  if (previousFont) DeleteObject(previousFont);
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

CDialogLayout* LayoutOf(HWND dialog) {
  return static_cast<CDialogLayout*>(GetPropA(dialog, kLayoutProperty));
}

}  // namespace

bool FollowScreenDpi(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCDESTROY) {
    delete static_cast<CDialogLayout*>(RemovePropA(dialog, kLayoutProperty));
    return false;
  }
  if (message != WM_DPICHANGED_MESSAGE || !lParam) return false;
  int dpi = HIWORD(wParam);
  if (dpi <= 0) return true;  // no DPI to lay out for
  try {
    CDialogLayout* layout = LayoutOf(dialog);
    if (!layout) {
      auto made = std::make_unique<CDialogLayout>(dialog);
      if (!SetPropA(dialog, kLayoutProperty, made.get())) return true;
      layout = made.release();
    }
    layout->Follow(dpi, *reinterpret_cast<const RECT*>(lParam));
  } catch (...) {
    // Out of memory: the dialog keeps the layout it has.
  }
  return true;
}

int DialogDpi(HWND dialog) {
  const CDialogLayout* layout = LayoutOf(dialog);
  return layout ? layout->Dpi() : WindowDpi(dialog);
}

HFONT DialogFont(HWND dialog) {
  const CDialogLayout* layout = LayoutOf(dialog);
  return layout ? layout->Font() : reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
}

void MakeFontForDpi(HFONT& font, int height, const char* face, int dpi) {
  HFONT made = CreateFontA(ScaleToDpi(height, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  if (!made) return;
  if (font) DeleteObject(font);
  font = made;
}
