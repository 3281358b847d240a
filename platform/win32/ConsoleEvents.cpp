#include "platform/win32/ConsoleEvents.h"

namespace kvd {

BOOL ConsoleEvents::handle(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stopAsked_ = true;
        if (askToStop_)
            askToStop_();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopAsked_ = true;
        if (askToStop_)
            askToStop_();
        waitUntilDone_();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace kvd
