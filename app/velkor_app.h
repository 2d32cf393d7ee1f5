// CVelkorApp: the application object. It prepares the controls and runs the main dialog.
#pragma once

#include "platform/dialog_toolkit.h"

namespace velkor::app {

class CVelkorApp : public CWinApp {
 public:
  CVelkorApp() : CWinApp(nullptr) {}
  BOOL InitInstance() override;
};

extern CVelkorApp theApp;

// Runs the updater on the installed ports and dialog backend; returns the exit code of a run
// that ends by its dialog closing (the update itself ends the process from inside).
int UpdaterMain();

}  // namespace velkor::app
