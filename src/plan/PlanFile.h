#ifndef VELQOR_PLANFILE_H
#define VELQOR_PLANFILE_H

#include "DeviceDetails.h"
#include "MovePlan.h"
#include "Serial.h"

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace velqor {

/// An address plan as a spreadsheet saves it: CSV (commas, or semicolons
/// where the header row has no comma) with a header row naming the columns
/// serial (its display or cell form) or serial_hex, address, and optionally
/// interface; other columns are ignored, so an exported device list is a
/// plan. Read whole or not at all: the first fault is reported with its line.
class PlanFile {
public:
    /// More than this is no plan: a full list's plan is a few MiB.
    static constexpr std::size_t kMaxBytes = std::size_t {32} << 20;
    /// As many rows as a list holds devices.
    static constexpr std::size_t kMaxRows = 65536;

    struct Entry {
        Serial serial;
        Ipv4Bytes address {};
        /// The interface named for it; empty where the plan names none.
        std::string link;
        /// Where the row starts in the file, from 1.
        std::size_t line = 0;
    };

    /// The plan in text; text longer than kMaxBytes is refused unread.
    static PlanFile Parse(const std::string &text);
    /// The plan from a stream, read up to just past kMaxBytes: an endless
    /// stream or a wrong file is refused, not swallowed.
    static PlanFile Read(std::istream &in);

    bool Ok() const { return error.empty(); }
    /// What is wrong, with its line: "line 7: ...".
    const std::string &Error() const { return error; }
    const std::vector<Entry> &Entries() const { return entries; }

    /// The plan's rows for the devices a search found: each entry's device
    /// on the interface named, or on the only one its serial answers on.
    /// Rows whose device was not found, or answers on several interfaces
    /// with none named, carry that reason.
    std::vector<MovePlan::Row> Rows(const std::vector<DeviceDetails> &devices) const;

private:
    void Fail(std::size_t line, const std::string &what);

    std::vector<Entry> entries;
    std::string error;
};

} // namespace velqor

#endif // VELQOR_PLANFILE_H
