#ifndef VELQOR_XLSXWRITER_H
#define VELQOR_XLSXWRITER_H

#include <string>
#include <vector>

namespace velqor {

/// A workbook of one sheet (.xlsx) whose cells are all typed as text, and
/// whose columns are formatted as text: edited and saved by Excel or
/// LibreOffice, a serial such as 000123 or 1E3 stays as it is.
class XlsxWriter {
public:
    /// The workbook's bytes: the header row, then the rows; empty when the
    /// archive could not be made.
    static std::string Write(const std::string &sheet, const std::vector<std::string> &header,
                             const std::vector<std::vector<std::string>> &rows);
};

} // namespace velqor

#endif // VELQOR_XLSXWRITER_H
