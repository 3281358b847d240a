#pragma once

// The serial port the program uses on this system: Windows' own communications
// API there, Qt's serial port module elsewhere.
#ifdef _WIN32
#include "platform/win32/Win32SerialPort.h"
namespace kvd {
using NativeSerialPort = Win32SerialPort;
}
#else
#include "platform/qt/QtSerialPort.h"
namespace kvd {
using NativeSerialPort = QtSerialPort;
}
#endif
