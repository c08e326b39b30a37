#include "Journal.h"

#include "LinkLock.h"
#include "Serial.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velqor {

namespace {

constexpr const char *kVersion = "orvane-journal-1";

std::string HexOf(const std::string &bytes)
{
    return Serial(bytes).Hex();
}

std::optional<std::string> FromHex(const std::string &hex)
{
    if (hex == "-")
        return std::string();
    const std::optional<Serial> serial = Serial::FromText("hex:" + hex);
    return serial ? std::optional<std::string>(serial->Bytes()) : std::nullopt;
}

std::string Line(const Journal::Entry &entry)
{
    // Hex, so that any serial and any interface name ("Ethernet 2") is one word.
    return std::string(kVersion) + ' ' + HexOf(entry.device.serial.Bytes()) + ' ' +
        (entry.device.link.empty() ? std::string("-") : HexOf(entry.device.link)) + ' ' +
        FormatAddress(entry.original) + ' ' + FormatAddress(entry.temporary) + ' ' + FormatAddress(entry.planned) +
        '\n';
}

std::optional<Journal::Entry> Parse(const std::string &line)
{
    std::istringstream words(line);
    std::string version, serial, link, original, temporary, planned;
    if (!(words >> version >> serial >> link >> original >> temporary >> planned) || version != kVersion)
        return std::nullopt;
    const auto serialBytes = FromHex(serial);
    const auto linkName = FromHex(link);
    const auto from = ParseDottedAddress(original);
    const auto parked = ParseDottedAddress(temporary);
    const auto to = ParseDottedAddress(planned);
    if (!serialBytes || !linkName || !from || !parked || !to)
        return std::nullopt;
    return Journal::Entry {{*linkName, Serial(*serialBytes)}, *from, *parked, *to};
}

// Down to the disk, not only to the system's cache: a power loss keeps it.
bool Flush(const std::filesystem::path &path, bool folder)
{
#if defined(_WIN32)
    if (folder)
        return true; // a rename is durable once MoveFileEx returns with WRITE_THROUGH
    HANDLE handle = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return flushed;
#else
    const int descriptor = ::open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_WRONLY) | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool flushed = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return flushed;
#endif
}

bool ReplaceFile(const std::filesystem::path &from, const std::filesystem::path &to)
{
#if defined(_WIN32)
    return MoveFileExW(from.wstring().c_str(), to.wstring().c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

} // namespace

Journal::Journal(std::filesystem::path file) : file(std::move(file)) { }

std::filesystem::path Journal::DefaultPath()
{
#if defined(_WIN32)
    const char *local = std::getenv("LOCALAPPDATA");
    const std::filesystem::path base = local ? std::filesystem::u8path(local) : std::filesystem::temp_directory_path();
    return base / "Orvane Manager" / "journal";
#else
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/')
        return std::filesystem::path(state) / "orvane-manager" / "journal";
    const char *home = std::getenv("HOME");
    const std::filesystem::path base =
        home && *home ? std::filesystem::path(home) : std::filesystem::temp_directory_path();
    return base / ".local" / "state" / "orvane-manager" / "journal";
#endif
}

std::vector<Journal::Entry> Journal::Entries() const
{
    std::vector<Entry> entries;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (const auto entry = Parse(line))
            entries.push_back(*entry);
    }
    return entries;
}

bool Journal::Write(const std::vector<Entry> &entries) const
{
    std::string text;
    for (const Entry &entry : entries)
        text += Line(entry);
    std::filesystem::path next = file;
    next += ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out)
            return false;
    }
    return Flush(next, false) && ReplaceFile(next, file) && Flush(file.parent_path(), true);
}

bool Journal::Add(const Entry &entry)
{
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    // Two programs may change it at once, each for its own devices.
    const auto lock = LinkLock::Acquire(file.parent_path(), file.filename().string());
    if (!lock)
        return false;
    std::vector<Entry> entries = Entries();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry &known) { return known.device == entry.device; }),
                  entries.end());
    entries.push_back(entry);
    return Write(entries);
}

bool Journal::Remove(const DeviceId &device)
{
    const auto lock = LinkLock::Acquire(file.parent_path(), file.filename().string());
    if (!lock)
        return false;
    std::vector<Entry> entries = Entries();
    const auto kept =
        std::remove_if(entries.begin(), entries.end(), [&](const Entry &known) { return known.device == device; });
    if (kept == entries.end())
        return true;
    entries.erase(kept, entries.end());
    return Write(entries);
}

} // namespace velqor
