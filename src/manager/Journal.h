#ifndef VELQOR_JOURNAL_H
#define VELQOR_JOURNAL_H

#include "DeviceId.h"
#include "NetworkInterface.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velqor {

/// Where devices are on their way, written down before they leave: a change
/// that parks a device on a temporary address is recorded, and flushed to
/// the disk, before its command goes out, and forgotten only once the
/// device has been found at its original or its planned address. A run that
/// ends in any way at all (killed, a power loss) leaves its entries behind,
/// so that the next one can say where those devices may be and take them on.
class Journal {
public:
    struct Entry {
        DeviceId device;
        Ipv4Bytes original {};
        Ipv4Bytes temporary {};
        /// Where the plan takes it.
        Ipv4Bytes planned {};

        bool operator==(const Entry &other) const
        {
            return device == other.device && original == other.original && temporary == other.temporary &&
                planned == other.planned;
        }
    };

    explicit Journal(std::filesystem::path file);

    /// The user's journal: $XDG_STATE_HOME/orvane-manager/journal (else
    /// ~/.local/state/…); on Windows %LOCALAPPDATA%\Orvane Manager\journal.
    /// The command line and the window share it.
    static std::filesystem::path DefaultPath();

    const std::filesystem::path &Path() const { return file; }

    /// Records the entry (replacing one of the same device) and flushes it to
    /// the disk; false when that failed, and then nothing may be sent.
    bool Add(const Entry &entry);
    /// Forgets the device's entry; false when the journal cannot be written.
    bool Remove(const DeviceId &device);
    /// Every entry, oldest first; lines that do not read are skipped.
    std::vector<Entry> Entries() const;

private:
    /// Rewrites the whole journal as one atomic replacement, under the lock
    /// that keeps two processes' changes apart.
    bool Write(const std::vector<Entry> &entries) const;

    std::filesystem::path file;
};

} // namespace velqor

#endif // VELQOR_JOURNAL_H
