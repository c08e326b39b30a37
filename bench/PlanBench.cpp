// Reading plans: rows per second, and whether the cost grows with the rows
// alone, for a list's CSV and workbook and for one serial planned on as many
// interfaces as rows (where the check of "planned twice" once went
// quadratic).

#include "Csv.h"
#include "PlanFile.h"
#include "XlsxWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Milliseconds(const std::string &bytes)
{
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const velqor::PlanFile plan = velqor::PlanFile::Parse(bytes);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (!plan.Ok()) {
            std::fprintf(stderr, "bench_plan: %s\n", plan.Error().c_str());
            return -1;
        }
        best = std::min(best, ms);
    }
    return best;
}

std::string Address(int row)
{
    return "10." + std::to_string(row / 65536 + 100) + "." + std::to_string(row / 256 % 256) + "." +
        std::to_string(row % 256);
}

} // namespace

int main()
{
    for (const int rows : {16384, 65536}) {
        std::string list = velqor::CsvRecord({"serial", "address", "serial_hex", "interface"});
        std::string twins = "serial,address,interface\n";
        std::vector<std::vector<std::string>> cells;
        for (int row = 0; row < rows; ++row) {
            const std::string serial = "ORV" + std::to_string(100000 + row);
            const velqor::Serial bytes(serial);
            list += velqor::CsvRecord({serial, Address(row), bytes.Hex(), "h0"});
            cells.push_back({serial, Address(row), bytes.Hex(), "h0"});
            twins += "ORV1," + Address(row) + ",eth" + std::to_string(row) + "\n";
        }
        const std::string workbook =
            velqor::XlsxWriter::Write("Devices", {"serial", "address", "serial_hex", "interface"}, cells);
        std::printf("  %5d rows: CSV %.0f ms, .xlsx %.0f ms, one serial on %d interfaces %.0f ms\n", rows,
                    Milliseconds(list), Milliseconds(workbook), rows, Milliseconds(twins));
    }
}
