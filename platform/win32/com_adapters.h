// The COM adapters behind ComCaptureSystem, for code that already holds an interface pointer
// (and for tests that hand in objects of their own). Each wrapper takes over one reference.
#pragma once

#include <memory>

#include "platform/capture_system.h"
#include "platform/win32/windows_api.h"

namespace velkor::win32 {

std::unique_ptr<CaptureFilter> WrapCaptureFilter(IBaseFilter* filter);
std::unique_ptr<PropertyBag> WrapPropertyBag(IPropertyBag* bag);
std::unique_ptr<KsControl> WrapKsControl(IKsControl* control);

}  // namespace velkor::win32
