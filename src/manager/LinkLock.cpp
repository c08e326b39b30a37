#include "LinkLock.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velqor {

namespace {

// A name as part of a file name: letters, digits, '-' and '_' as they are,
// anything else (a Windows adapter's "Ethernet 2", a VLAN's dot) as %XX.
std::string FileNamePart(const std::string &name)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string part;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '_') {
            part += c;
        } else {
            part += '%';
            part += digits[byte >> 4];
            part += digits[byte & 0x0f];
        }
    }
    return part;
}

#if !defined(_WIN32)
// Interfaces are per network namespace: two namespaces may both have an h0.
std::string NetworkNamespace()
{
    char target[64] = {};
    const ssize_t length = ::readlink("/proc/self/ns/net", target, sizeof target - 1);
    std::string digits;
    for (ssize_t i = 0; i < length; ++i) {
        if (target[i] >= '0' && target[i] <= '9')
            digits += target[i];
    }
    return digits.empty() ? "0" : digits;
}
#endif

std::intptr_t OpenLockFile(const std::filesystem::path &file)
{
#if defined(_WIN32)
    HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
#else
    int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
        // Any user of the workstation locks the same file: not the umask's mode.
        ::fchmod(descriptor, 0666);
    } else {
        descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC); // another user's; a lock needs no write
    }
    return descriptor;
#endif
}

// true: locked; false: another holds it (wait false) or it failed.
bool LockFile(std::intptr_t handle, bool wait)
{
#if defined(_WIN32)
    OVERLAPPED whole {};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    return LockFileEx(reinterpret_cast<HANDLE>(handle), flags, 0, MAXDWORD, MAXDWORD, &whole) != 0;
#else
    int result = 0;
    do {
        result = ::flock(static_cast<int>(handle), LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (result != 0 && errno == EINTR && wait);
    return result == 0;
#endif
}

void CloseLockFile(std::intptr_t handle)
{
#if defined(_WIN32)
    CloseHandle(reinterpret_cast<HANDLE>(handle));
#else
    ::close(static_cast<int>(handle)); // which releases the lock
#endif
}

// Who holds it, as its holder wrote; the file is read, not the lock.
std::string HolderOf(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::string text;
    std::getline(in, text);
    return text.substr(0, 200);
}

void WriteHolder(std::intptr_t handle, const std::string &holder)
{
    const std::string line = holder + "\n";
#if defined(_WIN32)
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
#else
    const int descriptor = static_cast<int>(handle);
    if (::ftruncate(descriptor, 0) == 0) [[maybe_unused]]
        const auto written = ::pwrite(descriptor, line.data(), line.size(), 0);
#endif
}

} // namespace

LinkLock::LinkLock(LinkLock &&other) noexcept : held(std::move(other.held))
{
    other.held.clear();
}

LinkLock &LinkLock::operator=(LinkLock &&other) noexcept
{
    if (this != &other) {
        Release();
        held = std::move(other.held);
        other.held.clear();
    }
    return *this;
}

LinkLock::~LinkLock()
{
    Release();
}

void LinkLock::Release() noexcept
{
    for (const std::intptr_t handle : held)
        CloseLockFile(handle);
    held.clear();
}

std::filesystem::path LinkLock::DefaultFolder()
{
    std::error_code error;
#if defined(_WIN32)
    if (const char *machine = std::getenv("ProgramData")) {
        const std::filesystem::path folder = std::filesystem::u8path(machine) / "Velqor" / "Orvane Manager";
        std::filesystem::create_directories(folder, error);
        if (std::filesystem::is_directory(folder, error))
            return folder;
    }
    return std::filesystem::temp_directory_path(error);
#else
    const std::filesystem::path run("/run/lock");
    const std::filesystem::path base =
        ::access(run.c_str(), W_OK) == 0 ? run : std::filesystem::temp_directory_path(error);
    return base / ("orvane-net" + NetworkNamespace());
#endif
}

std::filesystem::path LinkLock::FileOf(const std::filesystem::path &folder, const std::string &name)
{
    return folder / (FileNamePart(name) + ".lock");
}

std::optional<LinkLock> LinkLock::TryAcquire(const std::filesystem::path &folder, const std::vector<std::string> &names,
                                             const std::string &holder, std::string *busy)
{
    std::error_code error;
    if (std::filesystem::create_directories(folder, error)) {
#if !defined(_WIN32)
        ::chmod(folder.c_str(), 01777); // every user's locks, none removing another's
#endif
    }
    LinkLock lock;
    for (const std::string &name : names) {
        const std::filesystem::path file = FileOf(folder, name);
        const std::intptr_t handle = OpenLockFile(file);
        if (handle < 0 || !LockFile(handle, false)) {
            if (handle >= 0)
                CloseLockFile(handle);
            if (busy) {
                const std::string who = handle < 0 ? std::string("its lock file cannot be opened") : HolderOf(file);
                *busy = who.empty() ? name : name + " (" + who + ")";
            }
            return std::nullopt; // the others are let go with lock
        }
        WriteHolder(handle, holder);
        lock.held.push_back(handle);
    }
    return lock;
}

std::optional<LinkLock> LinkLock::Acquire(const std::filesystem::path &folder, const std::string &name)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::intptr_t handle = OpenLockFile(FileOf(folder, name));
    if (handle < 0)
        return std::nullopt;
    if (!LockFile(handle, true)) {
        CloseLockFile(handle);
        return std::nullopt;
    }
    LinkLock lock;
    lock.held.push_back(handle);
    return lock;
}

} // namespace velqor
