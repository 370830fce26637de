// The few POSIX names the companions use that the Windows C runtime spells differently or lacks;
// the Windows build puts this in front of every file of the component.
#pragma once

#include <fcntl.h>
#include <cerrno>

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
#ifndef EDQUOT
#define EDQUOT ENOSPC
#endif
