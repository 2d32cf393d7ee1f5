// The fake camera's COM objects: the capture filter and its class factory.
#pragma once

#include <string>

#include "platform/win32/windows_api.h"

namespace velkor::fakecam {

// A class factory for the capture filter, with one reference for the caller.
IClassFactory* NewFilterFactory();

// "key=value" lines: how many filters and node controls were made and how many are still
// referenced. At the end of a run the program should hold none.
std::string ObjectCounts();

}  // namespace velkor::fakecam
