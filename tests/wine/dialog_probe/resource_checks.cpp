// Reads the resources of the program behind the dialog from its executable file and compares
// them with the updater's resource script: template 102 field by field, the nine icon images,
// the version numbers and the manifest's requests.
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/dialog_probe/probe_checks.h"
#include "tests/wine/dialog_template_resource.h"

namespace probe {
namespace {

struct ExpectedControl {
  DWORD id;
  const char* className;
  const char* text;  // null: any three letters
  DWORD style;
  short x, y, cx, cy;
};

const ExpectedControl kControls[] = {
    {1, "#128", "OK", 0x40010001, 7, 7, 50, 14},
    {2, "#128", "Cancel", 0x40010000, 60, 7, 50, 14},
    {1001, "#130", nullptr, 0x50020201, 7, 7, 305, 16},
    {1000, "msctls_progress32", "", 0x50000008, 7, 24, 305, 14},
};

bool Resource(HMODULE module, LPCWSTR type, LPCWSTR name, const BYTE** data, DWORD* size,
              WORD language = 0) {
  HRSRC found = language != 0 ? FindResourceExW(module, type, name, language)
                              : FindResourceW(module, name, type);
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  if (loaded == nullptr) {
    return false;
  }
  *data = static_cast<const BYTE*>(LockResource(loaded));
  *size = SizeofResource(module, found);
  return *data != nullptr;
}

void CheckTemplate(HMODULE module, Report& report) {
  const BYTE* data = nullptr;
  DWORD size = 0;
  const WORD englishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  if (!Resource(module, RT_DIALOG, MAKEINTRESOURCEW(102), &data, &size, englishUs)) {
    report.Check(false, "dialog template 102 (English, United States) present");
    return;
  }
  wine_checks::ResourceTemplate t;
  const bool read = wine_checks::TemplateReader(data, size).Read(&t);
  report.Check(read, "template 102 is read to its end");
  report.Check(t.version == 1 && t.signature == 0xFFFF, "template 102 is an extended template");
  report.Check(t.style == 0x90C800C8 && t.exStyle == 0x00040000,
               "template style and extended style", Hex(t.style) + " " + Hex(t.exStyle));
  report.Check(t.x == 0 && t.y == 0 && t.cx == 319 && t.cy == 45 && t.controls.size() == 4,
               "template position, size and control count");
  report.Check(t.menu.empty() && t.windowClass.empty(), "template has no menu and no own class");
  report.Check(t.caption == "Update RX274B-T61C-LM07-QP-R06.00.01 Firmware", "template caption",
               t.caption);
  report.Check(
      t.points == 8 && t.weight == 0 && t.italic == 0 && t.charset == 1 && t.face == "MS Shell Dlg",
      "template font", t.face + " " + std::to_string(t.points));

  for (std::size_t i = 0; i < t.controls.size() && i < std::size(kControls); ++i) {
    const ExpectedControl& expected = kControls[i];
    const wine_checks::ResourceControl& control = t.controls[i];
    const std::string name = "template control " + std::to_string(expected.id);
    // Class names are case-insensitive; the resource compiler stores them in capitals.
    const bool classMatches = lstrcmpiA(control.className.c_str(), expected.className) == 0;
    const bool textMatches =
        expected.text != nullptr ? control.text == expected.text : control.text.size() == 3;
    report.Check(
        control.id == expected.id && classMatches && textMatches, name + " identity",
        std::to_string(control.id) + " " + control.className + " \"" + control.text + "\"");
    report.Check(control.style == expected.style && control.exStyle == 0, name + " style",
                 Hex(control.style));
    report.Check(control.x == expected.x && control.y == expected.y && control.cx == expected.cx &&
                     control.cy == expected.cy,
                 name + " position and size");
  }
}

void CheckIconGroup(HMODULE module, Report& report) {
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!Resource(module, RT_GROUP_ICON, MAKEINTRESOURCEW(128), &data, &size) || size < 6) {
    report.Check(false, "group icon 128 present");
    return;
  }
  const WORD count = *reinterpret_cast<const WORD*>(data + 4);
  std::vector<std::string> found;
  for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= size; ++i) {
    const BYTE* entry = data + 6 + 14 * i;
    const int width = entry[0] == 0 ? 256 : entry[0];
    const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
    found.push_back(std::to_string(width) + "x" + std::to_string(entry[1]) + "@" +
                    std::to_string(bits));
  }
  std::string wanted, got;
  for (int px : {48, 32, 16}) {
    for (int bpp : {4, 8, 24}) {
      wanted += std::to_string(px) + "x" + std::to_string(px) + "@" + std::to_string(bpp) + " ";
    }
  }
  for (const std::string& image : found) {
    got += image + " ";
  }
  report.Check(count == 9 && got == wanted, "group icon 128 holds nine images", got);
}

void CheckVersion(HMODULE module, Report& report) {
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!Resource(module, RT_VERSION, MAKEINTRESOURCEW(1), &data, &size)) {
    report.Check(false, "version resource present");
    return;
  }
  // VS_FIXEDFILEINFO starts with its signature 0xFEEF04BD.
  for (DWORD offset = 0; offset + sizeof(VS_FIXEDFILEINFO) <= size; offset += 4) {
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, data + offset, sizeof(info));
    if (info.dwSignature == 0xFEEF04BD) {
      report.Check(info.dwFileVersionMS == 0x00070000 && info.dwFileVersionLS == 0x00000004 &&
                       info.dwProductVersionMS == 0x00070000 &&
                       info.dwProductVersionLS == 0x00000004,
                   "file and product version 7.0.0.4");
      return;
    }
  }
  report.Check(false, "version resource holds a fixed file info");
}

void CheckManifest(HMODULE module, Report& report) {
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!Resource(module, RT_MANIFEST, MAKEINTRESOURCEW(1), &data, &size)) {
    report.Check(false, "application manifest present");
    return;
  }
  const std::string manifest(reinterpret_cast<const char*>(data), size);
  report.Check(manifest.find("level=\"asInvoker\"") != std::string::npos &&
                   manifest.find("uiAccess=\"false\"") != std::string::npos,
               "manifest asks for asInvoker without user-interface access");
  report.Check(manifest.find("dependency") == std::string::npos,
               "manifest names no dependent assembly (classic common controls)");
}

}  // namespace

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", value);
  return text;
}

void CheckResources(HWND dialog, Report& report) {
  DWORD processId = 0;
  GetWindowThreadProcessId(dialog, &processId);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  wchar_t path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  const bool named = process != nullptr && QueryFullProcessImageNameW(process, 0, path, &length);
  if (process != nullptr) {
    CloseHandle(process);
  }
  HMODULE module = named ? LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
  if (module == nullptr) {
    report.Check(false, "the dialog's executable can be read");
    return;
  }
  CheckTemplate(module, report);
  CheckIconGroup(module, report);
  CheckVersion(module, report);
  CheckManifest(module, report);
  FreeLibrary(module);
}

}  // namespace probe
