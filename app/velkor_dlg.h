// CVelkorDlg: the updater's one window (template 102) with its status line and progress bar.
// It loads the firmware image when it opens and runs the presence poll on its one-second timer.
#pragma once

#include "app/label.h"
#include "platform/dialog_toolkit.h"

namespace velkor::app {

constexpr int kPathCount = 10;
constexpr int kPathLength = 256;
constexpr UINT_PTR kPollTimerId = 1;
constexpr UINT kPollPeriodMs = 1000;

class CVelkorDlg : public CDialog {
 public:
  explicit CVelkorDlg(CWnd* parent = nullptr);

  char16_t DevicePathList[kPathCount][kPathLength] = {};
  char NarrowPathList[kPathCount][kPathLength] = {};
  HICON WindowIcon = nullptr;
  CLabel StatusLabel;
  CProgressCtrl ProgressBar;

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  void OnPaint() override;
  HCURSOR OnQueryDragIcon() override;
  void OnClose() override;
  void OnTimer(UINT_PTR id) override;  // the presence poll
  void OnOK() override;
  void OnCancel() override;
};

// Fills ImageBuffer from the embedded image ("BYTE" 131). Fails, leaving ImageBuffer as it was,
// when the image is missing, unreadable or not exactly kImageSize bytes.
bool LoadFirmwareImage();

// Where a minimised window draws its icon: centred, rounding as signed division does.
POINT IconOrigin(LONG clientWidth, LONG clientHeight, int iconWidth, int iconHeight);

}  // namespace velkor::app
