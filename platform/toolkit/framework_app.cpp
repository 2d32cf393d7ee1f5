// The application object, worker-thread start, backend installation and the graphics and system
// calls: each forwards to the installed DialogBackend.
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dialog_toolkit.h"

namespace velkor {
namespace {

DialogBackend* installedBackend = nullptr;
CWinApp* currentApp = nullptr;

// Thread records live as long as the process, as the framework's auto-deleting objects would
// for a thread that never finishes before the process ends.
std::mutex threadRecordsMutex;
std::vector<std::unique_ptr<CWinThread>>& ThreadRecords() {
  static std::vector<std::unique_ptr<CWinThread>> records;
  return records;
}

}  // namespace

void InstallDialogBackend(DialogBackend* backend) {
  installedBackend = backend;
}

DialogBackend& CurrentDialogBackend() {
  return *installedBackend;
}

CWinApp::CWinApp(const char* /*appName*/) {
  currentApp = this;
}

CWinApp::~CWinApp() {
  if (currentApp == this) {
    currentApp = nullptr;
  }
}

HICON CWinApp::LoadIcon(UINT resourceId) const {
  return CurrentDialogBackend().LoadAppIcon(static_cast<int>(resourceId));
}

CWinApp* AfxGetApp() {
  return currentApp;
}

// No control container is hosted: the dialog holds only standard controls.
void AfxEnableControlContainer(void* /*manager*/) {}

int AfxWinMain() {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) {
    return -1;
  }
  app->InitInstance();
  // Without a message loop of its own the framework ends the application right away.
  return app->ExitInstance();
}

CWinThread* AfxBeginThread(ThreadProc proc, void* parameter, int /*priority*/, UINT /*stackSize*/,
                           DWORD /*createFlags*/, void* /*security*/) {
  auto record = std::make_unique<CWinThread>();
  record->m_pfnThreadProc = proc;
  record->m_pThreadParams = parameter;
  CWinThread* thread = record.get();
  {
    std::lock_guard<std::mutex> lock(threadRecordsMutex);
    ThreadRecords().push_back(std::move(record));
  }
  if (!CurrentDialogBackend().StartThread(proc, parameter)) {
    return nullptr;
  }
  return thread;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
  return controls != nullptr && CurrentDialogBackend().InitCommonControls(*controls);
}

COLORREF GetSysColor(int index) {
  return CurrentDialogBackend().SystemColor(index);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  return CurrentDialogBackend().NewSolidBrush(color);
}

BOOL DeleteObject(HGDIOBJ object) {
  return object != nullptr && CurrentDialogBackend().DeleteGraphicsObject(object);
}

BOOL GetDefaultGuiFont(LOGFONTA* description) {
  return CurrentDialogBackend().DefaultGuiFont(description);
}

int GetSystemMetrics(int index) {
  return CurrentDialogBackend().SystemMetric(index);
}

HCURSOR SetCursor(HCURSOR cursor) {
  return CurrentDialogBackend().ChangeCursor(cursor);
}

void ShellOpen(const char* file) {
  CurrentDialogBackend().ShellOpen(file);
}

}  // namespace velkor
