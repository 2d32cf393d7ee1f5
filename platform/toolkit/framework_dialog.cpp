// Modal dialogs from a template: creation through the backend, initialisation with data
// exchange, and the OK and Cancel commands.
#include "platform/dialog_toolkit.h"

namespace velkor {

void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control) {
  HWND item = CurrentDialogBackend().DialogItem(exchange->m_pDlgWnd->m_hWnd, controlId);
  control.SubclassWindow(item);
}

INT_PTR CDialog::DoModal() {
  HWND parent = parent_ != nullptr ? parent_->m_hWnd : nullptr;
  return CurrentDialogBackend().RunModalDialog(static_cast<int>(templateId_), parent,
                                               reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::EndDialog(INT_PTR result) {
  return CurrentDialogBackend().EndModalDialog(m_hWnd, result);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kWmInitDialog:
      return OnInitDialog();
    case kWmCommand:
      switch (wParam & 0xFFFF) {
        case kIdOk:
          OnOK();
          return 0;
        case kIdCancel:
          OnCancel();
          return 0;
        default:
          return Default();
      }
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

BOOL CDialog::OnInitDialog() {
  CDataExchange exchange(this);
  DoDataExchange(&exchange);
  return 1;
}

void CDialog::DoDataExchange(CDataExchange* /*exchange*/) {}

void CDialog::OnOK() {
  EndDialog(kIdOk);
}

void CDialog::OnCancel() {
  EndDialog(kIdCancel);
}

}  // namespace velkor
