#ifndef VELQOR_ODSREADER_H
#define VELQOR_ODSREADER_H

#include "PlanTable.h"

#include <string>

namespace velqor {

/// One sheet of an OpenDocument spreadsheet (.ods, LibreOffice's own):
/// each cell's text as shown, and whether it holds a number, a date, a
/// percentage, a currency or a truth value rather than text.
class OdsReader {
public:
    /// The sheet named, or the document's first where sheet is empty.
    static PlanTable Read(const std::string &bytes, const std::string &sheet);
};

} // namespace velqor

#endif // VELQOR_ODSREADER_H
