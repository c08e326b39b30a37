#ifndef VELQOR_LINKLOCK_H
#define VELQOR_LINKLOCK_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velqor {

/// Exclusive locks, shared by every process of the workstation, on named
/// things: the interfaces an address change runs on, or a file. One lock
/// file each in a folder, locked with flock (LockFileEx on Windows): the
/// system lets go of a lock when its process ends, however it ends, so a
/// killed holder leaves nothing held. The holder writes who it is into the
/// file, for the message of whoever finds it held.
class LinkLock {
public:
    LinkLock() = default;
    LinkLock(LinkLock &&other) noexcept;
    LinkLock &operator=(LinkLock &&other) noexcept;
    LinkLock(const LinkLock &) = delete;
    LinkLock &operator=(const LinkLock &) = delete;
    ~LinkLock();

    /// Where the interfaces' locks lie: one folder for every user of the
    /// workstation (/run/lock, else the temporary folder; Windows: the
    /// machine's ProgramData). Linux keeps interfaces per network
    /// namespace, so the lock files are named by it too.
    static std::filesystem::path DefaultFolder();

    /// Locks every name or none. When another process holds one, busy gets
    /// the name and what its holder wrote ("h0 (pid 412: orvane-cli apply)").
    static std::optional<LinkLock> TryAcquire(const std::filesystem::path &folder,
                                              const std::vector<std::string> &names, const std::string &holder,
                                              std::string *busy = nullptr);
    /// Waits for one name; none when its file cannot be opened.
    static std::optional<LinkLock> Acquire(const std::filesystem::path &folder, const std::string &name);

    /// The file that locks name in folder.
    static std::filesystem::path FileOf(const std::filesystem::path &folder, const std::string &name);

private:
    void Release() noexcept;

    /// Native descriptors (Windows: handles), one per name held.
    std::vector<std::intptr_t> held;
};

} // namespace velqor

#endif // VELQOR_LINKLOCK_H
