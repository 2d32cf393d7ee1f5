// The updater's dialog template 102: caption, frame and its four controls.
#include "platform/dialog_template.h"
#include "resources/firmware_version.h"

namespace velkor {
namespace {

// The two buttons are not visible: they only give Enter and Escape their OK and Cancel effect.
const DialogControlTemplate kMainControls[] = {
    {kIdOk, "button", "OK", 0x40010001, 7, 7, 50, 14},
    {kIdCancel, "button", "Cancel", 0x40010000, 60, 7, 50, 14},
    {kStatusLabelId, "static", "Tex", 0x50020201, 7, 7, 305, 16},
    {kProgressBarId, "msctls_progress32", "", 0x50000008, 7, 24, 305, 14},
};

const DialogTemplate kMainDialog = {
    kMainDialogTemplateId,
    kUpdaterCaption,
    0x90C800C8,
    0x00040000,
    319,
    45,
    "MS Shell Dlg",
    8,
    kMainControls,
    static_cast<int>(sizeof(kMainControls) / sizeof(kMainControls[0])),
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  return id == kMainDialogTemplateId ? &kMainDialog : nullptr;
}

}  // namespace velkor
