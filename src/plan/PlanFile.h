#ifndef VELQOR_PLANFILE_H
#define VELQOR_PLANFILE_H

#include "DeviceDetails.h"
#include "MovePlan.h"
#include "Serial.h"

#include <cstddef>
#include <istream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velqor {

class PlanTable;

/// How a plan file is read.
struct PlanOptions {
    /// The sheet of a spreadsheet file; empty: its first.
    std::string sheet;
    /// Serials that read as numbers pass without serial_hex or from.
    bool force = false;
    /// How to say so, at the end of the refusal; empty: not said.
    std::string forceHint = "--force";
};

/// An address plan as a spreadsheet saves it: CSV (see CsvReader), or the
/// first sheet (or the one named) of an .xlsx or .ods file, with a header
/// row naming the columns serial (its display or cell form) or serial_hex,
/// address, and optionally interface and from (the device's address now,
/// checked before it is moved); other columns are ignored, so an exported
/// device list is a plan. Header names are matched whatever their case and
/// spaces, with the synonyms people type (IP, IP address, IPv4, Serial
/// number, current address). Read whole or not at all: the first fault is
/// reported with its line, or its sheet and cell.
class PlanFile {
public:
    /// More than this is no plan: a full list's plan is a few MiB.
    static constexpr std::size_t kMaxBytes = std::size_t {32} << 20;
    /// As many rows as a list holds devices.
    static constexpr std::size_t kMaxRows = 65536;

    using Options = PlanOptions;

    /// What tells a row's device from every other.
    enum class Identity {
        SerialHex, ///< the serial's exact bytes
        From, ///< the serial, where the device is now
        Serial, ///< the serial alone
    };

    struct Entry {
        Serial serial;
        Ipv4Bytes address {};
        /// The interface named for it; empty where the plan names none.
        std::string link;
        /// Where the plan says the device is now; none where it does not say.
        std::optional<Ipv4Bytes> from;
        Identity identity = Identity::Serial;
        /// Where the row starts in the file, from 1.
        std::size_t line = 0;
    };

    /// The plan in a file's bytes, whatever its format; more than kMaxBytes
    /// is refused unread.
    static PlanFile Parse(const std::string &bytes, const Options &options = {});
    /// The plan from a stream, read up to just past kMaxBytes: an endless
    /// stream or a wrong file is refused, not swallowed.
    static PlanFile Read(std::istream &in, const Options &options = {});
    /// The plan a table of cells holds.
    static PlanFile FromTable(const PlanTable &table, const Options &options = {});

    bool Ok() const { return error.empty(); }
    /// What is wrong, with where: "line 7: ...", "sheet "Plan", cell B7: ...".
    const std::string &Error() const { return error; }
    /// The rows that move a device.
    const std::vector<Entry> &Entries() const { return entries; }
    /// The rows whose address is empty: their devices are left as they are.
    const std::vector<Entry> &Skipped() const { return skipped; }

    /// The plan's rows for the devices a search found: each entry's device
    /// on the interface named, or on the only one its serial answers on,
    /// and at the plan's from address where it gives one. Rows whose device
    /// was not found, answers on several interfaces with none named, is not
    /// where the plan has it, or names an interface that is not among links
    /// (the workstation's; empty: not checked) carry that reason.
    std::vector<MovePlan::Row> Rows(const std::vector<DeviceDetails> &devices,
                                    const std::set<std::string> &links = {}) const;

private:
    void Fail(const std::string &what);

    std::vector<Entry> entries;
    std::vector<Entry> skipped;
    std::string error;
};

/// The column that identified a row: serial_hex, from or serial.
const char *IdentityName(PlanFile::Identity identity);

} // namespace velqor

#endif // VELQOR_PLANFILE_H
