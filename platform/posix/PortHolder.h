#pragma once

// Who holds a serial device another program has, as Linux and the lock files
// of serial programs tell it.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kvd {

// The folders a serial device's lock file may be in, in the order Qt's serial
// port looks through them: the first it may read that has the file, or where
// it may make it.
std::vector<std::filesystem::path> LockFolders();

// The lock file `lockName` as Qt's serial port takes it: in the first of
// `lockFolders` it may read that has the file, or where it may make it; none
// when there is no such folder.
std::optional<std::filesystem::path>
LockFilePath(const std::string& lockName,
             const std::vector<std::filesystem::path>& lockFolders = LockFolders());

// The name of the lock file Qt's serial port takes for a port it knows as
// `portName` ("ttyUSB0" for /dev/ttyUSB0, "pts/3" for /dev/pts/3):
// "LCK..ttyUSB0", "LCK..pts_3".
std::string LockFileName(const std::string& portName);

// Why `device` did not open when the serial port library called it a matter
// of permission, which is its word for three refusals: the system's (this user
// may not open the device: "Permission denied"), the lock file's (another
// program holds `lockName`, the port's lock file in the first of `lockFolders`
// that has it or may have it: "/dev/ttyUSB0 is in use by another program
// (kvd62-capture, process 1234)", named as /proc names it), and the device's
// own (another program has it open for itself alone, which the library says
// as `said`, the system's words for "busy"). A lock file whose program has
// ended but that this user may not remove is said with what to do. Any other
// refusal is `said` as it stands.
// Why `device` is not to be opened: the lock file Qt's serial port would take
// for it, `lockName` in the first of `lockFolders` that has it, is no file but
// a pipe, a link or a device, which any user may plant in the shared lock
// folder and on which Qt's lock would wait for good or read without end.
// Empty when it is a file or not there.
std::string
WhyTheLockFileIsPlanted(const std::string& device, const std::string& lockName,
                        const std::vector<std::filesystem::path>& lockFolders = LockFolders());

std::string WhyRefused(const std::string& device, const std::string& lockName,
                       const std::string& said,
                       const std::vector<std::filesystem::path>& lockFolders = LockFolders());

} // namespace kvd
