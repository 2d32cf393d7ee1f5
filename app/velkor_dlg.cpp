// CVelkorDlg: construction, data exchange, initialisation with the firmware image, painting
// when minimised, and the keys and close button.
#include "app/velkor_dlg.h"

#include <cstring>

#include "app/app_state.h"
#include "app/flash_window.h"
#include "app/result_log.h"
#include "app/update_sequence.h"
#include "platform/dialog_template.h"
#include "platform/ports.h"

namespace velkor::app {

namespace {

constexpr int kFirmwareResourceId = 131;

// Never freed: the worker may still be reading the image when the process ends.
std::uint8_t imageStorage[kImageSize];

}  // namespace

CVelkorDlg::CVelkorDlg(CWnd* parent) : CDialog(kMainDialogTemplateId, parent) {
  WindowIcon = AfxGetApp() != nullptr ? AfxGetApp()->LoadIcon(kAppIconId) : nullptr;
}

void CVelkorDlg::DoDataExchange(CDataExchange* exchange) {
  CDialog::DoDataExchange(exchange);
  DDX_Control(exchange, kStatusLabelId, StatusLabel);
  DDX_Control(exchange, kProgressBarId, ProgressBar);
}

BOOL CVelkorDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(WindowIcon, 1);
  SetIcon(WindowIcon, 0);

  std::memset(imageStorage, 0, sizeof(imageStorage));
  ImageBuffer = imageStorage;
  ImageLoaded = LoadFirmwareImage();

  StatusLabel.ChangeFontHeight(-18);
  if (ImageLoaded) {
    StatusLabel.ChangeTextColor(kBlue);
    StatusLabel.SetWindowText("Detect Device!!!");
  } else {
    // Shown from the start; the first poll tick ends the run before any device is opened.
    StatusLabel.ChangeTextColor(kRed);
    StatusLabel.SetWindowText(kImageInvalidText);
  }
  SetTimer(kPollTimerId, kPollPeriodMs, nullptr);
  return 1;
}

bool LoadFirmwareImage() {
  ModuleResources* resources = CurrentPorts().resources;
  if (resources == nullptr) {
    return false;
  }
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  if (!resources->Find("BYTE", kFirmwareResourceId, &data, &size) || data == nullptr) {
    return false;
  }
  // The write and the verification cover exactly kImageSize bytes: any other size is not this
  // camera's firmware, and a shorter one would be read past its end.
  if (size != kImageSize) {
    return false;
  }
  std::memcpy(imageStorage, data, kImageSize);
  ImageBuffer = imageStorage;
  return true;
}

POINT IconOrigin(LONG clientWidth, LONG clientHeight, int iconWidth, int iconHeight) {
  return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

void CVelkorDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(kWmIconEraseBkgnd, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  const int iconWidth = GetSystemMetrics(kSmCxIcon);
  const int iconHeight = GetSystemMetrics(kSmCyIcon);
  RECT client{};
  GetClientRect(&client);
  const POINT at =
      IconOrigin(client.right - client.left, client.bottom - client.top, iconWidth, iconHeight);
  dc.DrawIcon(at.x, at.y, WindowIcon);
}

HCURSOR CVelkorDlg::OnQueryDragIcon() {
  return reinterpret_cast<HCURSOR>(WindowIcon);
}

void CVelkorDlg::OnClose() {
  if (WorkerThread != nullptr) {
    if (TheFlashWindow().HoldEndRequest()) {
      // Between the release and the verdict: noted, and the program ends with the update.
      ShowStatus(this, kBlue, kEndHeldText);
      return;
    }
    // Before the release or after the verdict, closing is the operator's abort. The process
    // ends here, before this dialog object could be destroyed under the worker that uses it.
    EndProcess();
  }
  Default();  // ends the dialog as Cancel
}

// Enter and Escape reach the hidden OK and Cancel buttons. Once the worker runs they are
// ignored: a stray key must not end the process between erase and write.
void CVelkorDlg::OnOK() {
  if (WorkerThread == nullptr) {
    CDialog::OnOK();
  }
}

void CVelkorDlg::OnCancel() {
  if (WorkerThread == nullptr) {
    CDialog::OnCancel();
  }
}

}  // namespace velkor::app
