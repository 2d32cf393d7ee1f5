// Windows, controls, device contexts and fonts of the dialog framework, and the routing of
// backend messages to the CWnd bound to each window handle.
#include <map>
#include <mutex>

#include "platform/dialog_toolkit.h"

namespace velkor {
namespace {

std::mutex handleMapMutex;
std::map<HWND, CWnd*>& HandleMap() {
  static std::map<HWND, CWnd*> map;
  return map;
}

void Bind(HWND window, CWnd* object) {
  std::lock_guard<std::mutex> lock(handleMapMutex);
  HandleMap()[window] = object;
}

void Unbind(HWND window, const CWnd* object) {
  std::lock_guard<std::mutex> lock(handleMapMutex);
  auto found = HandleMap().find(window);
  if (found != HandleMap().end() && found->second == object) {
    HandleMap().erase(found);
  }
}

constexpr UINT LowWord(std::uintptr_t value) {
  return static_cast<UINT>(value & 0xFFFF);
}
constexpr UINT HighWord(std::uintptr_t value) {
  return static_cast<UINT>((value >> 16) & 0xFFFF);
}

}  // namespace

LRESULT DispatchToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWmInitDialog && lParam != 0) {
    // The dialog object travels as the creation parameter, as with DialogBoxParam.
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->SubclassWindow(window);
  }
  CWnd* target = CWnd::FromHandlePermanent(window);
  if (target == nullptr) {
    return CurrentDialogBackend().DefaultProcessing(window, message, wParam, lParam);
  }
  const CWnd::CurrentMessage saved = target->current_;
  target->current_ = {message, wParam, lParam};
  const LRESULT result = target->WindowProc(message, wParam, lParam);
  target->current_ = saved;
  return result;
}

CWnd::~CWnd() {
  if (m_hWnd != nullptr) {
    Unbind(m_hWnd, this);
  }
}

BOOL CWnd::SubclassWindow(HWND window) {
  if (window == nullptr) {
    return 0;
  }
  if (m_hWnd != nullptr) {
    Unbind(m_hWnd, this);
  }
  m_hWnd = window;
  Bind(window, this);
  return 1;
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
  std::lock_guard<std::mutex> lock(handleMapMutex);
  auto found = HandleMap().find(window);
  return found == HandleMap().end() ? nullptr : found->second;
}

void CWnd::SetWindowText(const char* text) {
  CurrentDialogBackend().SetText(m_hWnd, text);
}

void CWnd::GetWindowText(std::string& text) const {
  text = CurrentDialogBackend().Text(m_hWnd);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return CurrentDialogBackend().Send(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::RedrawWindow(const RECT* update, const void* /*region*/, UINT flags) {
  return CurrentDialogBackend().Redraw(m_hWnd, update, flags);
}

void CWnd::InvalidateRect(const RECT* rect, BOOL erase) {
  CurrentDialogBackend().Invalidate(m_hWnd, rect, erase);
}

void CWnd::UpdateWindow() {
  CurrentDialogBackend().UpdateNow(m_hWnd);
}

// Ticks always arrive as WM_TIMER at the window: the updater never passes a timer procedure.
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs,
                        void (* /*timerProc*/)(HWND, UINT, UINT_PTR, DWORD)) {
  return CurrentDialogBackend().StartTimer(m_hWnd, id, elapseMs);
}

BOOL CWnd::KillTimer(UINT_PTR id) {
  return CurrentDialogBackend().StopTimer(m_hWnd, id);
}

BOOL CWnd::IsIconic() const {
  return CurrentDialogBackend().Minimised(m_hWnd);
}

void CWnd::GetClientRect(RECT* rect) const {
  CurrentDialogBackend().ClientRect(m_hWnd, rect);
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  return reinterpret_cast<HICON>(
      SendMessage(kWmSetIcon, big ? kIconBig : kIconSmall, reinterpret_cast<LPARAM>(icon)));
}

LRESULT CWnd::Default() {
  return CurrentDialogBackend().DefaultProcessing(m_hWnd, current_.message, current_.wParam,
                                                  current_.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kWmTimer:
      OnTimer(wParam);
      return 0;
    case kWmClose:
      OnClose();
      return 0;
    case kWmPaint:
      OnPaint();
      return 0;
    case kWmQueryDragIcon:
      return reinterpret_cast<LRESULT>(OnQueryDragIcon());
    case kWmSetCursor:
      return OnSetCursor(FromHandlePermanent(reinterpret_cast<HWND>(wParam)),
                         LowWord(static_cast<std::uintptr_t>(lParam)),
                         HighWord(static_cast<std::uintptr_t>(lParam)));
    case kWmLButtonDown: {
      const auto packed = static_cast<std::uintptr_t>(lParam);
      const POINT point = {static_cast<std::int16_t>(LowWord(packed)),
                           static_cast<std::int16_t>(HighWord(packed))};
      OnLButtonDown(static_cast<UINT>(wParam), point);
      return 0;
    }
    case kWmCtlColorStatic: {
      // Reflect to the child that asks, so the control decides its own colours.
      CWnd* child = FromHandlePermanent(reinterpret_cast<HWND>(lParam));
      if (child != nullptr) {
        CDC dc(reinterpret_cast<HDC>(wParam));
        HBRUSH brush = child->CtlColor(&dc, kCtlColorStatic);
        if (brush != nullptr) {
          return reinterpret_cast<LRESULT>(brush);
        }
      }
      return Default();
    }
    default:
      return Default();
  }
}

void CWnd::OnTimer(UINT_PTR /*id*/) {
  Default();
}
void CWnd::OnClose() {
  Default();
}
void CWnd::OnPaint() {
  Default();
}
HCURSOR CWnd::OnQueryDragIcon() {
  return reinterpret_cast<HCURSOR>(Default());
}
BOOL CWnd::OnSetCursor(CWnd* /*window*/, UINT /*hitTest*/, UINT /*message*/) {
  return static_cast<BOOL>(Default());
}
void CWnd::OnLButtonDown(UINT /*flags*/, POINT /*point*/) {
  Default();
}
HBRUSH CWnd::CtlColor(CDC* /*dc*/, UINT /*ctlColor*/) {
  return nullptr;
}

int CProgressCtrl::SetPos(int position) {
  return static_cast<int>(SendMessage(kPbmSetPos, static_cast<WPARAM>(position), 0));
}

HFONT CDC::SelectObject(CFont* font) {
  return CurrentDialogBackend().SelectFont(m_hDC, font != nullptr ? font->m_hObject : nullptr);
}

COLORREF CDC::SetTextColor(COLORREF color) {
  return CurrentDialogBackend().SetDcTextColor(m_hDC, color);
}

int CDC::SetBkMode(int mode) {
  return CurrentDialogBackend().SetDcBackgroundMode(m_hDC, mode);
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  return CurrentDialogBackend().PaintIcon(m_hDC, x, y, icon);
}

CPaintDC::CPaintDC(CWnd* window)
    : CDC(CurrentDialogBackend().BeginPainting(window->m_hWnd)), window_(window->m_hWnd) {}

CPaintDC::~CPaintDC() {
  CurrentDialogBackend().EndPainting(window_, m_hDC);
}

BOOL CFont::CreateFontIndirect(const LOGFONTA* description) {
  DeleteObject();
  if (description == nullptr) {
    return 0;
  }
  m_hObject = CurrentDialogBackend().NewFont(*description);
  return m_hObject != nullptr;
}

BOOL CFont::Attach(HFONT font) {
  m_hObject = font;
  return font != nullptr;
}

HFONT CFont::Detach() {
  HFONT font = m_hObject;
  m_hObject = nullptr;
  return font;
}

BOOL CFont::DeleteObject() {
  if (m_hObject == nullptr) {
    return 0;
  }
  const BOOL deleted = velkor::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return deleted;
}

}  // namespace velkor
