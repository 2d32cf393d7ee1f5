// The fake camera's COM objects: the capture filter and its class factory.
#pragma once

#include "platform/win32/windows_api.h"

namespace velkor::fakecam {

// A class factory for the capture filter, with one reference for the caller.
IClassFactory* NewFilterFactory();

}  // namespace velkor::fakecam
