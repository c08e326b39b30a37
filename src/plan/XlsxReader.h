#ifndef VELQOR_XLSXREADER_H
#define VELQOR_XLSXREADER_H

#include "PlanTable.h"

#include <string>

namespace velqor {

/// One sheet of an Office Open XML workbook (.xlsx, as Excel and LibreOffice
/// save it): each cell's text as the file holds it, and whether the sheet
/// typed it as a number, a date or a truth value.
class XlsxReader {
public:
    /// The sheet named, or the workbook's first where sheet is empty.
    static PlanTable Read(const std::string &bytes, const std::string &sheet);
};

} // namespace velqor

#endif // VELQOR_XLSXREADER_H
