// Dialog templates as data, for backends that build their windows themselves (the headless and
// terminal backends); the Win32 build takes the same template from its resource script, and the
// Windows adapter suite checks that the two agree field by field.
#pragma once

#include "platform/dialog_toolkit.h"

namespace velkor {

struct DialogControlTemplate {
  int id;
  const char* className;  // "button", "static", "msctls_progress32"
  const char* text;
  DWORD style;
  short x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  int id;
  const char* caption;
  DWORD style;
  DWORD exStyle;
  short cx, cy;  // dialog units
  const char* fontFace;
  int fontPoints;
  const DialogControlTemplate* controls;
  int controlCount;
};

// The updater's main window and its controls.
constexpr int kMainDialogTemplateId = 102;
constexpr int kStatusLabelId = 1001;
constexpr int kProgressBarId = 1000;
constexpr int kAppIconId = 128;

constexpr DWORD kWsVisible = 0x10000000;

// Null when no template has this id.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace velkor
