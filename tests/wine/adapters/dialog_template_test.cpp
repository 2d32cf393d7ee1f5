// Template 102 as the resource compiler built it from resources/velkor.rc (linked into this
// program) against the toolkit's own copy, which the headless and terminal backends build their
// windows from: every field of the two must agree, so neither can drift from the other.
#include <gtest/gtest.h>

// The toolkit's declarations before the Win32 headers, whose macros would rename its methods.
#include "platform/dialog_template.h"

#include <windows.h>

#include <string>

#include "tests/wine/dialog_template_resource.h"

namespace {

using wine_checks::ResourceControl;
using wine_checks::ResourceTemplate;

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
  ResourceTemplate script;
  wine_checks::TemplateReader reader(data, SizeofResource(module, found));
  ASSERT_TRUE(reader.Read(&script)) << "the template ends early";

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
