// Template 102 as the resource compiler built it from resources/velkor.rc (linked into this
// program) against the toolkit's own copy, which the headless and terminal backends build their
// windows from: every field of the two must agree, so neither can drift from the other.
#include <gtest/gtest.h>

// The toolkit's declarations before the Win32 headers, whose macros would rename its methods.
#include "platform/dialog_template.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

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
  std::string face;
  std::vector<ResourceControl> controls;
};

// Reads an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX entries) in order;
// ok() turns false as soon as a read would leave the resource.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }

  ResourceTemplate Read() {
    ResourceTemplate t;
    t.version = Get<WORD>();
    t.signature = Get<WORD>();
    Get<DWORD>();  // help id
    t.exStyle = Get<DWORD>();
    t.style = Get<DWORD>();
    const WORD count = Get<WORD>();
    t.x = Get<short>();
    t.y = Get<short>();
    t.cx = Get<short>();
    t.cy = Get<short>();
    t.menu = NameOrOrdinal();
    t.windowClass = NameOrOrdinal();
    t.caption = Text();
    t.points = Get<WORD>();
    Get<WORD>();  // weight
    Get<BYTE>();  // italic
    Get<BYTE>();  // character set
    t.face = Text();
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
      t.controls.push_back(control);
    }
    return t;
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

// The predefined class atoms of a template; any other class is stored by name, in whatever
// letter case the resource compiler chose (class names are case-insensitive).
std::string ClassAtomName(const std::string& stored) {
  if (stored == "#128") {
    return "button";
  }
  if (stored == "#130") {
    return "static";
  }
  std::string lower = stored;
  for (char& c : lower) {
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return lower;
}

TEST(DialogTemplateTest, ResourceScriptAndToolkitTemplateAgreeFieldByField) {
  const WORD englishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  HMODULE module = GetModuleHandleW(nullptr);
  const LPCWSTR dialogType = MAKEINTRESOURCEW(5);  // RT_DIALOG
  HRSRC found = FindResourceExW(module, dialogType, MAKEINTRESOURCEW(velkor::kMainDialogTemplateId),
                                englishUs);
  ASSERT_NE(found, nullptr) << "template 102 (English, United States) is linked in";
  HGLOBAL loaded = LoadResource(module, found);
  ASSERT_NE(loaded, nullptr);
  const auto* data = static_cast<const BYTE*>(LockResource(loaded));
  ASSERT_NE(data, nullptr);
  TemplateReader reader(data, SizeofResource(module, found));
  const ResourceTemplate script = reader.Read();
  ASSERT_TRUE(reader.ok()) << "the template ends early";

  const velkor::DialogTemplate* toolkit = velkor::FindDialogTemplate(velkor::kMainDialogTemplateId);
  ASSERT_NE(toolkit, nullptr);

  EXPECT_EQ(script.version, 1);
  EXPECT_EQ(script.signature, 0xFFFF);
  EXPECT_EQ(script.style, toolkit->style);
  EXPECT_EQ(script.exStyle, toolkit->exStyle);
  EXPECT_EQ(script.x, 0);
  EXPECT_EQ(script.y, 0);
  EXPECT_EQ(script.cx, toolkit->cx);
  EXPECT_EQ(script.cy, toolkit->cy);
  EXPECT_EQ(script.menu, "");
  EXPECT_EQ(script.windowClass, "");
  EXPECT_EQ(script.caption, toolkit->caption);
  EXPECT_EQ(script.face, toolkit->fontFace);
  EXPECT_EQ(script.points, toolkit->fontPoints);

  ASSERT_EQ(script.controls.size(), static_cast<std::size_t>(toolkit->controlCount));
  for (int i = 0; i < toolkit->controlCount; ++i) {
    const velkor::DialogControlTemplate& expected = toolkit->controls[i];
    const ResourceControl& control = script.controls[static_cast<std::size_t>(i)];
    SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(expected.id));
    EXPECT_EQ(control.id, static_cast<DWORD>(expected.id));
    EXPECT_EQ(ClassAtomName(control.className), expected.className);
    EXPECT_EQ(control.text, expected.text);
    EXPECT_EQ(control.style, expected.style);
    EXPECT_EQ(control.exStyle, 0u);
    EXPECT_EQ(control.x, expected.x);
    EXPECT_EQ(control.y, expected.y);
    EXPECT_EQ(control.cx, expected.cx);
    EXPECT_EQ(control.cy, expected.cy);
  }
}

}  // namespace
