// libFuzzer targets for the plan readers, one per format (PLAN_FORMAT: 1 CSV,
// 2 XLSX, 3 ODS), each through the whole plan check. A spreadsheet's input
// is the XML of its sheet, packed into an archive around it, so that the
// mutations reach the XML rather than die at the archive's checksums; an
// input that is an archive itself is read as it is.

#include "CsvReader.h"
#include "OdsReader.h"
#include "PlanFile.h"
#include "XlsxReader.h"
#include "ZipArchive.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::string Packed(const std::string &xml)
{
#if PLAN_FORMAT == 2
    return velqor::ZipArchive::Write(
        {{"xl/workbook.xml", "<workbook><sheets><sheet name=\"S\" id=\"r1\"/></sheets></workbook>"},
         {"xl/_rels/workbook.xml.rels", "<Relationships><Relationship Id=\"r1\" Target=\"s.xml\"/></Relationships>"},
         {"xl/sharedStrings.xml", "<sst><si><t>serial</t></si><si><t>address</t></si></sst>"},
         {"xl/s.xml", xml}});
#else
    return velqor::ZipArchive::Write(
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", xml}});
#endif
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
#if PLAN_FORMAT == 1
    const velqor::PlanTable table = velqor::CsvReader::Read(input);
#else
    const std::string bytes = velqor::ZipArchive::Looks(input) ? input : Packed(input);
#if PLAN_FORMAT == 2
    const velqor::PlanTable table = velqor::XlsxReader::Read(bytes, {});
#else
    const velqor::PlanTable table = velqor::OdsReader::Read(bytes, {});
#endif
#endif
    const velqor::PlanFile plan = velqor::PlanFile::FromTable(table);
    // A plan read is whole: entries only where there is no error.
    if (!plan.Ok() && !plan.Entries().empty())
        __builtin_trap();
    return 0;
}
