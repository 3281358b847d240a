#include "platform/posix/PortHolder.h"

#include "platform/ReadFileBytes.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kvd {

namespace fs = std::filesystem;

namespace {

struct Holder {
    long pid = 0;
    // The name the holder wrote into its lock file (Qt's lock files have one).
    std::string name;
};

// The process a lock file names: Qt's lock files hold its number, then its
// name, a line each; the lock files of older serial programs ("HDB UUCP" lock
// files) hold the number alone, in blanks.
std::optional<Holder> ReadHolder(const fs::path& lock) {
    std::string whyNot;
    const std::optional<std::string> held = ReadFileBytes(lock, 4096, whyNot);
    if (!held)
        return std::nullopt;
    std::istringstream in(*held);
    std::string number;
    Holder holder;
    if (!std::getline(in, number))
        return std::nullopt;
    std::getline(in, holder.name);
    char* end = nullptr;
    holder.pid = std::strtol(number.c_str(), &end, 10);
    while (end != nullptr && *end == ' ')
        ++end;
    if (holder.pid <= 0 || end == nullptr || *end != '\0')
        return std::nullopt;
    return holder;
}

bool Runs(long pid) {
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// A running process's name, as `ps` shows it: the file its command line
// started ("kvd62-capture", "minicom"), else the kernel's name for it.
std::string ProcessName(long pid, const std::string& written) {
    const fs::path process = "/proc/" + std::to_string(pid);
    std::ifstream cmdline(process / "cmdline", std::ios::binary);
    std::string program;
    std::getline(cmdline, program, '\0');
    if (!program.empty())
        return fs::path(program).filename().string();
    std::ifstream comm(process / "comm");
    std::getline(comm, program);
    if (!program.empty())
        return program;
    return written.empty() ? "a program" : written;
}

// Whether the lock file is its process's own: a program makes its lock file
// as its own user. The superuser's may name anyone's.
bool OwnedAsItsProcess(const fs::path& lock, long pid) {
    struct stat file {
    }, process{};
    if (::lstat(lock.c_str(), &file) != 0 || file.st_uid == 0)
        return true;
    const std::string processFolder = "/proc/" + std::to_string(pid);
    return ::stat(processFolder.c_str(), &process) != 0 || process.st_uid == file.st_uid;
}

// A lock file that is there but names no process (garbled, empty, or not
// readable by this user): no program holds the port through it, and one that
// another user wrote may be there to hold this program up. A file that is not
// there at all names no one either: the refusal is then the system's own.
std::string WhyTheLockFileNamesNoOne(const std::string& device, const fs::path& lock) {
    struct stat file {};
    if (::lstat(lock.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return {};
    return device + " cannot be locked: its lock file " + lock.string() +
           " names no process that holds it" +
           (file.st_uid == ::geteuid()
                ? std::string{}
                : ", and another user may have put it there to hold this program up") +
           "; ask your administrator to remove it (sudo rm " + lock.string() + "), then try again";
}

} // namespace

std::vector<fs::path> LockFolders() {
    const char* temporary = std::getenv("TMPDIR");
    return {"/var/lock",
            "/etc/locks",
            "/var/spool/locks",
            "/var/spool/uucp",
            "/tmp",
            "/var/tmp",
            "/var/lock/lockdev",
            "/run/lock",
            temporary != nullptr && *temporary != '\0' ? temporary : "/tmp"};
}

std::optional<fs::path> LockFilePath(const std::string& lockName,
                                     const std::vector<fs::path>& lockFolders) {
    for (const fs::path& folder : lockFolders) {
        const fs::path file = folder / lockName;
        std::error_code error;
        if (::access(folder.c_str(), R_OK) == 0 &&
            (fs::exists(file, error) || ::access(folder.c_str(), W_OK) == 0))
            return file;
    }
    return std::nullopt;
}

std::string LockFileName(const std::string& portName) {
    std::string name = "LCK.." + portName;
    for (char& c : name)
        if (c == '/')
            c = '_';
    return name;
}

std::string WhyTheLockFileIsPlanted(const std::string& device, const std::string& lockName,
                                    const std::vector<fs::path>& lockFolders) {
    const std::optional<fs::path> lock = LockFilePath(lockName, lockFolders);
    struct stat seen {};
    if (!lock || ::lstat(lock->c_str(), &seen) != 0 || S_ISREG(seen.st_mode))
        return {};
    return device + " cannot be locked: its lock file " + lock->string() +
           " is a pipe, a link or a device, not a lock file, which another user may have put "
           "there to hold this program up; ask your administrator to remove it (sudo rm " +
           lock->string() + "), then try again";
}

std::string WhyRefused(const std::string& device, const std::string& lockName,
                       const std::string& said, const std::vector<fs::path>& lockFolders) {
    // Whoever else has it, this user could not open it anyway.
    if (::faccessat(AT_FDCWD, device.c_str(), R_OK, AT_EACCESS) != 0 && errno == EACCES)
        return "Permission denied";
    if (const std::optional<fs::path> lock = LockFilePath(lockName, lockFolders)) {
        const std::optional<Holder> holder = ReadHolder(*lock);
        if (!holder) {
            if (std::string why = WhyTheLockFileNamesNoOne(device, *lock); !why.empty())
                return why;
        } else {
            if (holder->pid == long(::getpid()))
                return device + " is already open in this program";
            if (Runs(holder->pid) && !OwnedAsItsProcess(*lock, holder->pid))
                return device + " cannot be locked: its lock file " + lock->string() +
                       " names process " + std::to_string(holder->pid) + " (" +
                       ProcessName(holder->pid, holder->name) +
                       "), which another user's file cannot hold, and which another user may "
                       "have put there to hold this program up; ask your administrator to "
                       "remove it (sudo rm " +
                       lock->string() + "), then try again";
            if (Runs(holder->pid))
                return device + " is in use by another program (" +
                       ProcessName(holder->pid, holder->name) + ", process " +
                       std::to_string(holder->pid) + ")";
            return device + " is locked by " + lock->string() + ", which process " +
                   std::to_string(holder->pid) + " left when it ended: remove that file (sudo rm " +
                   lock->string() + "), then try again";
        }
    }
    if (said == std::strerror(EBUSY))
        return device + " is in use by another program";
    return said;
}

} // namespace kvd
