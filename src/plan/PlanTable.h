#ifndef VELQOR_PLANTABLE_H
#define VELQOR_PLANTABLE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velqor {

/// The cells of a plan as its file holds them, whatever the format: rows of
/// UTF-8 text, each with the line (or sheet row) it starts on. A table that
/// could not be read holds no rows and says why.
class PlanTable {
public:
    struct Cell {
        std::string text;
        /// The sheet typed it as a number, a date or a truth value: its text
        /// may not be what was typed (000123 becomes 123).
        bool number = false;
    };
    struct Row {
        std::vector<Cell> cells;
        std::size_t line = 0;
    };

    /// A text file's table, whose places are lines.
    PlanTable() = default;
    /// A sheet's table, whose places are cells of the sheet named.
    explicit PlanTable(std::string sheet) : sheet(std::move(sheet)) { }

    const std::string &Sheet() const { return sheet; }

    /// Where a row (column given: a cell) is, for a message: "line 7", or
    /// "sheet "Plan", cell B7" ("row 7" without a column).
    std::string Where(std::size_t line, std::size_t column = npos) const;
    /// A column for a message: "column B", or "column 2" in a text file.
    std::string ColumnName(std::size_t column) const;
    bool IsSheet() const { return !sheet.empty(); }

    void Fail(std::size_t line, std::string what);
    bool Ok() const { return error.empty(); }
    /// What is wrong, with where: "line 7: ...".
    const std::string &Error() const { return error; }

    std::vector<Row> rows;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    /// Rows with text that a sheet's reader keeps: a full plan, its header,
    /// and one more, which tells that the plan is too long.
    static constexpr std::size_t kMaxSheetRows = 65536 + 2;
    /// As many columns as a spreadsheet has.
    static constexpr std::size_t kMaxColumns = 16384;
    /// A sheet's XML unpacks to no more than this: a full plan is a few MiB.
    static constexpr std::size_t kMaxPartBytes = std::size_t {128} << 20;

private:
    std::string sheet;
    std::string error;
};

/// A sheet's name for a message, "quoted", its control characters as ?.
std::string SheetName(const std::string &name);
/// The sheet asked for is not among those a file has: "no sheet "X": the
/// workbook has "A", "B"".
std::string NoSuchSheet(const std::string &asked, const std::vector<std::string> &names);

/// Appends a Unicode code point to UTF-8 text.
void AppendUtf8(std::string &text, std::uint32_t code);

/// A spreadsheet's name of a column: A, B, ..., Z, AA, AB, ...
std::string ColumnLetters(std::size_t column);

} // namespace velqor

#endif // VELQOR_PLANTABLE_H
