// SIGINT, SIGTERM and SIGHUP for the tool on POSIX systems: during a write they are noted and
// the write completes; otherwise they end the process as usual.
#pragma once

namespace velkor::tool {

void InstallPosixInterruptHandlers();

}  // namespace velkor::tool
