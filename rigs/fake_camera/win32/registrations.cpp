// Registry writes of the fake camera.
#include "rigs/fake_camera/win32/registrations.h"

namespace velkor::fakecam {
namespace {

// The video-input category {860BB310-5D01-11D0-BD3B-00A0C911CE86}: the device enumerator lists
// the keys under its Instance key, in name order.
constexpr wchar_t kVideoInputInstances[] =
    L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\";

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

std::wstring ClsidText(const CLSID& clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return text;
}

bool SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        bytes) == ERROR_SUCCESS;
}

HKEY CreateKey(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

}  // namespace

bool RegisterFilterClass(const CLSID& clsid, const std::wstring& modulePath) {
  const std::wstring classPath = L"CLSID\\" + ClsidText(clsid);
  HKEY key = CreateKey(classPath);
  if (key == nullptr) {
    return false;
  }
  bool ok = SetText(key, nullptr, L"Velkor fake camera filter");
  RegCloseKey(key);
  key = CreateKey(classPath + L"\\InprocServer32");
  if (key == nullptr) {
    return false;
  }
  ok = SetText(key, nullptr, modulePath) && ok;
  ok = SetText(key, L"ThreadingModel", L"Both") && ok;
  RegCloseKey(key);
  return ok;
}

void WriteDeviceRegistrations(const CLSID& clsid, const std::vector<CaptureDeviceEntry>& devices) {
  for (const CaptureDeviceEntry& device : devices) {
    const std::wstring path = kVideoInputInstances + Wide(device.key);
    if (!device.present) {
      RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
      continue;
    }
    HKEY key = CreateKey(path);
    if (key == nullptr) {
      continue;
    }
    SetText(key, L"CLSID", ClsidText(clsid));
    SetText(key, L"FriendlyName", Wide(device.friendlyName));
    SetText(key, L"DevicePath", Wide(device.path));
    RegCloseKey(key);
  }
}

}  // namespace velkor::fakecam
