#ifndef VELQOR_ZIPARCHIVE_H
#define VELQOR_ZIPARCHIVE_H

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velqor {

struct ZipMemory;

/// A zip archive in memory, as spreadsheet files are: members read by name,
/// or a new archive written whole.
class ZipArchive {
public:
    /// An archive's bytes, which must outlive it.
    explicit ZipArchive(const std::string &bytes);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    /// The bytes are a zip archive that can be read.
    bool Ok() const { return archive != nullptr; }
    /// A member's bytes; none when it is absent, broken, or unpacks to more
    /// than limit bytes (an archive made to fill the memory).
    std::optional<std::string> Member(const std::string &name, std::size_t limit) const;

    /// An archive of these members (name, bytes), deflated, in this order.
    static std::string Write(const std::vector<std::pair<std::string, std::string>> &members);

    /// The bytes start as a zip archive does.
    static bool Looks(const std::string &bytes) { return bytes.rfind("PK\x03\x04", 0) == 0; }

private:
    std::unique_ptr<ZipMemory> memory;
    void *archive = nullptr;
};

} // namespace velqor

#endif // VELQOR_ZIPARCHIVE_H
