// Reads the resources of the program behind the dialog from its executable file and compares
// them with the updater's resource script: template 102 field by field, the nine icon images,
// the version numbers and the manifest's requests.
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/dialog_probe/probe_checks.h"

namespace probe {
namespace {

// Reads a DLGTEMPLATEEX sequentially.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  WORD Word() { return Read<WORD>(); }
  DWORD Dword() { return Read<DWORD>(); }
  short Short() { return Read<short>(); }
  BYTE Byte() { return Read<BYTE>(); }
  void AlignDword() { offset_ = (offset_ + 3) & ~DWORD{3}; }
  // A name or ordinal: 0xFFFF and an atom, or a zero-terminated UTF-16 text.
  std::string NameOrOrdinal() {
    if (offset_ + 2 <= size_ && *reinterpret_cast<const WORD*>(data_ + offset_) == 0xFFFF) {
      Word();
      std::string ordinal = "#";
      ordinal += std::to_string(Word());
      return ordinal;
    }
    return Text();
  }
  std::string Text() {
    std::string text;
    for (WORD c = Word(); ok_ && c != 0; c = Word()) {
      text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return text;
  }
  void Skip(DWORD bytes) { offset_ += bytes; }

 private:
  template <typename T>
  T Read() {
    T value{};
    if (offset_ + sizeof(T) > size_) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }
  const BYTE* data_;
  DWORD size_;
  DWORD offset_ = 0;
  bool ok_ = true;
};

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
  TemplateReader t(data, size);
  const WORD version = t.Word();
  const WORD signature = t.Word();
  t.Dword();  // help id
  const DWORD exStyle = t.Dword();
  const DWORD style = t.Dword();
  const WORD count = t.Word();
  const short x = t.Short(), y = t.Short(), cx = t.Short(), cy = t.Short();
  const std::string menu = t.NameOrOrdinal();
  const std::string windowClass = t.NameOrOrdinal();
  const std::string caption = t.Text();
  const WORD points = t.Word();
  const WORD weight = t.Word();
  const BYTE italic = t.Byte();
  const BYTE charset = t.Byte();
  const std::string face = t.Text();
  report.Check(version == 1 && signature == 0xFFFF, "template 102 is an extended template");
  report.Check(style == 0x90C800C8 && exStyle == 0x00040000, "template style and extended style",
               Hex(style) + " " + Hex(exStyle));
  report.Check(x == 0 && y == 0 && cx == 319 && cy == 45 && count == 4,
               "template position, size and control count");
  report.Check(menu.empty() && windowClass.empty(), "template has no menu and no own class");
  report.Check(caption == "Update RX274B-T61C-LM07-QP-R06.00.01 Firmware", "template caption",
               caption);
  report.Check(points == 8 && weight == 0 && italic == 0 && charset == 1 && face == "MS Shell Dlg",
               "template font", face + " " + std::to_string(points));

  for (const ExpectedControl& expected : kControls) {
    t.AlignDword();
    t.Dword();  // help id
    const DWORD controlExStyle = t.Dword();
    const DWORD controlStyle = t.Dword();
    const short cxPos = t.Short(), cyPos = t.Short(), width = t.Short(), height = t.Short();
    const DWORD id = t.Dword();
    const std::string className = t.NameOrOrdinal();
    const std::string text = t.NameOrOrdinal();
    t.Skip(t.Word());  // creation data
    const std::string name = "template control " + std::to_string(expected.id);
    // Class names are case-insensitive; the resource compiler stores them in capitals.
    const bool classMatches = lstrcmpiA(className.c_str(), expected.className) == 0;
    const bool textMatches = expected.text != nullptr ? text == expected.text : text.size() == 3;
    report.Check(t.ok() && id == expected.id && classMatches && textMatches, name + " identity",
                 std::to_string(id) + " " + className + " \"" + text + "\"");
    report.Check(controlStyle == expected.style && controlExStyle == 0, name + " style",
                 Hex(controlStyle));
    report.Check(
        cxPos == expected.x && cyPos == expected.y && width == expected.cx && height == expected.cy,
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
