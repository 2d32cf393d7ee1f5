// The one application object and its start-up.
#include "app/velkor_app.h"

#include "app/result_log.h"
#include "app/velkor_dlg.h"

namespace velkor::app {

CVelkorApp theApp;

BOOL CVelkorApp::InitInstance() {
  RemoveStaleResultLog();
  const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), kIccWin95Classes};
  InitCommonControlsEx(&controls);
  CWinApp::InitInstance();
  AfxEnableControlContainer();
  SetRegistryKey("Local AppWizard-Generated Applications");

  CVelkorDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  // No message loop of the application's own: the program ends with the dialog.
  return 0;
}

int UpdaterMain() {
  theApp.m_pMainWnd = nullptr;
  return AfxWinMain();
}

}  // namespace velkor::app
