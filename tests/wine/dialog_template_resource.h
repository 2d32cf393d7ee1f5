// An extended dialog template resource (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX entries) read
// into plain fields, for the Wine programs that compare template 102 with what it should hold.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace wine_checks {

struct ResourceControl {
  DWORD id = 0;
  std::string className;  // "#128" and the like for a predefined class atom
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
};

struct ResourceTemplate {
  WORD version = 0;
  WORD signature = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string menu;
  std::string windowClass;
  std::string caption;
  WORD points = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::string face;
  std::vector<ResourceControl> controls;
};

// Reads the template in order; false when a read would leave the resource's size bytes.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}

  bool Read(ResourceTemplate* t) {
    t->version = Get<WORD>();
    t->signature = Get<WORD>();
    Get<DWORD>();  // help id
    t->exStyle = Get<DWORD>();
    t->style = Get<DWORD>();
    const WORD count = Get<WORD>();
    t->x = Get<short>();
    t->y = Get<short>();
    t->cx = Get<short>();
    t->cy = Get<short>();
    t->menu = NameOrOrdinal();
    t->windowClass = NameOrOrdinal();
    t->caption = Text();
    t->points = Get<WORD>();
    t->weight = Get<WORD>();
    t->italic = Get<BYTE>();
    t->charset = Get<BYTE>();
    t->face = Text();
    for (WORD i = 0; i < count && ok_; ++i) {
      offset_ = (offset_ + 3) & ~DWORD{3};
      ResourceControl control;
      Get<DWORD>();  // help id
      control.exStyle = Get<DWORD>();
      control.style = Get<DWORD>();
      control.x = Get<short>();
      control.y = Get<short>();
      control.cx = Get<short>();
      control.cy = Get<short>();
      control.id = Get<DWORD>();
      control.className = NameOrOrdinal();
      control.text = NameOrOrdinal();
      offset_ += Get<WORD>();  // creation data
      t->controls.push_back(control);
    }
    return ok_;
  }

 private:
  template <typename T>
  T Get() {
    T value{};
    if (offset_ + sizeof(T) > size_) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }
  // 0xFFFF and an ordinal, or a zero-terminated UTF-16 text.
  std::string NameOrOrdinal() {
    if (offset_ + 2 <= size_ && data_[offset_] == 0xFF && data_[offset_ + 1] == 0xFF) {
      Get<WORD>();
      std::string ordinal = "#";  // appended, not concatenated: GCC 12 warns on the latter
      ordinal += std::to_string(Get<WORD>());
      return ordinal;
    }
    return Text();
  }
  std::string Text() {
    std::string text;
    for (WORD c = Get<WORD>(); ok_ && c != 0; c = Get<WORD>()) {
      text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return text;
  }

  const BYTE* data_;
  DWORD size_;
  DWORD offset_ = 0;
  bool ok_ = true;
};

}  // namespace wine_checks
