#!/usr/bin/env python3
"""Writes workbooks shaped as Excel writes them (shared strings, rich text
runs with phonetic readings, _xHHHH_ escapes, numbers as <v> cells, several
sheets), for the plan reader's tests. Run from tests/data; the files are
committed."""
import zipfile

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"


def workbook(path, sheets, strings):
    """sheets: (name, rows); a row is a list of cells: ("s", index),
    ("n", "123") or None."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        def put(name, text):
            info = zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text)
        overrides = "".join(
            f'<Override PartName="/xl/worksheets/sheet{i + 1}.xml" ContentType="application/'
            f'vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>' for i in range(len(sheets)))
        put("[Content_Types].xml",
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/xl/workbook.xml" ContentType="application/'
            'vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>' + overrides +
            '<Override PartName="/xl/sharedStrings.xml" ContentType="application/'
            'vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
        put("_rels/.rels",
            f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<Relationships xmlns="{PKG}">'
            f'<Relationship Id="rId1" Type="{REL}/officeDocument" Target="xl/workbook.xml"/></Relationships>')
        # Excel numbers relationships in its own order: the sheets' ids are not their positions.
        put("xl/workbook.xml",
            f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<workbook xmlns="{MAIN}" '
            f'xmlns:r="{REL}"><bookViews><workbookView/></bookViews><sheets>' +
            "".join(f'<sheet name="{name}" sheetId="{i + 1}" r:id="rId{len(sheets) - i + 2}"/>'
                    for i, (name, _) in enumerate(sheets)) + '</sheets></workbook>')
        put("xl/_rels/workbook.xml.rels",
            f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<Relationships xmlns="{PKG}">' +
            "".join(f'<Relationship Id="rId{len(sheets) - i + 2}" Type="{REL}/worksheet" '
                    f'Target="worksheets/sheet{i + 1}.xml"/>' for i in range(len(sheets))) +
            f'<Relationship Id="rId1" Type="{REL}/sharedStrings" Target="sharedStrings.xml"/></Relationships>')
        put("xl/sharedStrings.xml",
            f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<sst xmlns="{MAIN}" '
            f'count="{len(strings)}" uniqueCount="{len(strings)}">' + "".join(f"<si>{s}</si>" for s in strings) +
            "</sst>")
        for i, (_, rows) in enumerate(sheets):
            data = ""
            for r, row in enumerate(rows, start=1):
                cells = ""
                for c, cell in enumerate(row):
                    if cell is None:
                        continue
                    ref = chr(ord("A") + c) + str(r)
                    kind, value = cell
                    cells += (f'<c r="{ref}" t="s"><v>{value}</v></c>' if kind == "s"
                              else f'<c r="{ref}"><v>{value}</v></c>')
                data += f'<row r="{r}" spans="1:{len(row)}">{cells}</row>'
            put(f"xl/worksheets/sheet{i + 1}.xml",
                f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<worksheet xmlns="{MAIN}" '
                f'xmlns:r="{REL}"><dimension ref="A1:D9"/><sheetData>{data}</sheetData></worksheet>')


strings = [
    "<t>Serial Number</t>", "<t>IP Address</t>", "<t>serial_hex</t>", "<t>Comment</t>",
    # A rich text run and a phonetic reading, which is no part of the text.
    '<r><t>ORV</t></r><r><rPr><b/></rPr><t xml:space="preserve">000123</t></r><rPh sb="0" eb="3"><t>オー</t></rPh>',
    "<t>10.100.0.21</t>", "<t>4f5256303030313233</t>",
    "<t>A_x005F_x0041_B</t>", "<t>10.100.0.22</t>", "<t>415f78303034315f42</t>",
    "<t>10.100.0.23</t>", "<t>second sheet</t>", "<t>ORV9</t>",
]
plan = [[("s", 0), ("s", 1), ("s", 2), ("s", 3)],
        [("s", 4), ("s", 5), ("s", 6), None],
        [("s", 7), ("s", 8), ("s", 9), ("n", "42")]]
other = [[("s", 0), ("s", 1), None, ("s", 3)],
         [("s", 12), ("s", 10), None, ("s", 11)]]
workbook("excel-shared-strings.xlsx", [("Plan", plan), ("Plan B", other)], strings)

# The serial column as Excel keeps what was typed as 000123: the number 123.
numbers = [[("s", 0), ("s", 1), None, None],
           [("s", 4), ("s", 5), None, None],
           [("n", "123"), ("s", 8), None, None]]
workbook("excel-number-serial.xlsx", [("Sheet1", numbers)], strings)
