#ifndef VELQOR_CSVREADER_H
#define VELQOR_CSVREADER_H

#include "PlanTable.h"

#include <string>

namespace velqor {

/// Text tables as spreadsheets save them: RFC 4180 records separated by
/// commas, semicolons or tabs (whichever the header row holds most of,
/// outside quotes), with line ends CRLF, LF or CR; in UTF-8 with or without
/// a byte-order mark, UTF-16 with one, or Windows-1252 (Excel's "CSV" in
/// western locales), which is told from UTF-8 by bytes UTF-8 cannot hold.
class CsvReader {
public:
    static PlanTable Read(const std::string &bytes);

    /// The text as UTF-8, or empty with why in error.
    static std::string Decoded(const std::string &bytes, std::string &error);
};

} // namespace velqor

#endif // VELQOR_CSVREADER_H
