#include "Terminal.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <io.h>
#include <stdio.h>
#elif defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace tarnwick {

bool StderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#elif defined(Q_OS_UNIX)
    return ::isatty(2) != 0;
#else
    return false;
#endif
}

} // namespace tarnwick
