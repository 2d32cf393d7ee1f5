// The update: the second presence check and trial open on the dialog's thread (StartUpdate),
// then on a worker the open, identification, protection release, erase, write, verification,
// verdict and protection restore (the update flow of update/).
#pragma once

#include "app/velkor_dlg.h"

namespace velkor::app {

constexpr const char kCameraBusyText[] = "Camera in use by another program!!!";

// On the dialog's thread, called by the poll once the camera is present. Returns once the
// worker runs; every other outcome ends the process here.
void StartUpdate(CVelkorDlg* dialog);
// The worker's thread procedure; its parameter is the dialog.
UINT UpdateWorker(void* parameter);
// The update proper, on the worker: the update flow with the updater's options, its status and
// progress on the dialog, its verdict in Result.log. Ends the process on every path.
void RunUpdate(CVelkorDlg* dialog);

// Status line and progress bar: colour first (with an immediate repaint), then the text.
void ShowStatus(CVelkorDlg* dialog, COLORREF color, const char* text);
void ShowProgress(CVelkorDlg* dialog, int position);

}  // namespace velkor::app
