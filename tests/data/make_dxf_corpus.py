#!/usr/bin/python3
"""Writes the DXF corpus of drawings from other programs into tests/data/dxf/.

Each drawing is written by ezdxf (Debian's python3-ezdxf, a general DXF library) in every
version it writes, ASCII and binary; old versions also with text in their code page. Then
copies of some of them are damaged by hand, one damage each, in the ways files from the field
are damaged. Run it with /usr/bin/python3 from anywhere; it rewrites the folder's files.

File names say what a test expects of the file:
  ok_*        the strict read opens it whole ("nothing dropped or changed");
  audit_*     the strict read opens it and its audit notes what it dropped or changed;
  recover_*   the strict read refuses it, the recovering read opens it;
  refuse_*    neither opens it.
"""
import os
import sys

import ezdxf

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "dxf")
VERSIONS = ["R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018"]


def drawing(version, codepage=None, text="Wiring 1"):
    doc = ezdxf.new(version, setup=False)
    if codepage:
        doc.header["$DWGCODEPAGE"] = codepage
    doc.layers.add("CABLES", color=3)
    block = doc.blocks.new("AMP_S", base_point=(0, 0))
    block.add_line((0, 0), (4, 0))
    block.add_circle((2, 1), 0.5)
    block.add_attdef("TL_SYSNAME", (0, -1), dxfattribs={"height": 0.25})
    msp = doc.modelspace()
    msp.add_line((0, 0), (10, 5), dxfattribs={"layer": "CABLES"})
    msp.add_circle((3, 3), 1.5)
    msp.add_arc((5, 5), 2, 30, 120)
    msp.add_point((7, 1))
    msp.add_text(text, dxfattribs={"height": 0.5, "insert": (1, 8)})
    ref = msp.add_blockref("AMP_S", (20, 0))
    ref.add_attrib("TL_SYSNAME", "AMP-01", (20, -1))
    msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)])
    if version == "R12":
        msp.add_polyline2d([(0, 10), (5, 10), (5, 15)])
    else:
        msp.add_lwpolyline([(0, 10), (5, 10), (5, 15)], dxfattribs={"layer": "CABLES"})
        msp.add_ellipse((15, 15), major_axis=(3, 0), ratio=0.5)
        msp.add_lwpolyline([(0, 20), (2, 20, 0, 0, 0.5), (4, 22)])  # with a bulge
        msp.add_linear_dim(base=(0, -3), p1=(0, 0), p2=(10, 0)).render()
        layout = doc.layouts.get("Layout1")
        layout.add_line((0, 0), (100, 0))
    return doc


def save(doc, name, binary=False):
    path = os.path.join(OUT, name)
    doc.saveas(path, fmt="bin" if binary else "asc")
    return path


def damage(source, name, change):
    with open(os.path.join(OUT, source), "rb") as f:
        data = f.read()
    changed = change(data)
    assert changed != data, name
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(changed)


def replace_once(old, new, nth=1):
    def change(data):
        at = -1
        for _ in range(nth):
            at = data.index(old, at + 1)
        return data[:at] + new + data[at + len(old):]
    return change


def main():
    os.makedirs(OUT, exist_ok=True)
    for f in os.listdir(OUT):
        if f.endswith(".dxf"):
            os.remove(os.path.join(OUT, f))
    for v in VERSIONS:
        doc = drawing(v)
        save(doc, f"ok_{v.lower()}.dxf")
        save(doc, f"ok_{v.lower()}_binary.dxf", binary=True)
    # Text in code pages, with characters beyond the page as \U+ escapes.
    pages = [("ANSI_1251", "Кабель Ω ✓"), ("ANSI_1252", "Câble €5 ✓"), ("ANSI_932", "配線図 ✓")]
    for page, text in pages:
        for v in ["R12", "R2000", "R2004"]:
            doc = drawing(v, page, text)
            save(doc, f"ok_{v.lower()}_{page.lower()}.dxf")
        save(drawing("R12", page, text), f"ok_r12_{page.lower()}_binary.dxf", binary=True)

    # Damaged by hand, one damage each.
    nameless = lambda data: data.replace(b"  2\nAMP_S\n 70\n", b"  2\n\n 70\n", 1)
    damage("ok_r2000.dxf", "recover_block_without_name.dxf", nameless)
    damage("ok_r12.dxf", "recover_r12_block_without_name.dxf",
           lambda d: d.replace(b"  2\nAMP_S\n 70\n", b"  2\n\n 70\n", 1))
    # The block record of AMP_S removed from its table.
    def no_record(data):
        at = data.index(b"BLOCK_RECORD\n  5\n", data.index(b"AcDbSymbolTable"))
        name_at = data.index(b"\n  2\nAMP_S\n", at)
        start = data.rindex(b"  0\nBLOCK_RECORD\n", 0, name_at)
        end = data.index(b"  0\n", name_at)
        return data[:start] + data[end:]
    damage("ok_r2000.dxf", "audit_block_without_record.dxf", no_record)
    # Layout1's link to its block record broken.
    def broken_layout(data):
        at = data.index(b"AcDbLayout\n  1\nLayout1\n")
        link = data.index(b"330\n", at)
        end = data.index(b"\n", link + 4)
        return data[:link + 4] + b"FFFF0" + data[end:]
    damage("ok_r2000.dxf", "audit_layout_link_broken.dxf", broken_layout)
    # Two entities with one handle, and one with an empty handle.
    def duplicate(data):
        first = data.index(b"  0\nLINE\n  5\n", data.index(b"ENTITIES"))
        h = data[first + 13:data.index(b"\n", first + 13)]
        second = data.index(b"  0\nCIRCLE\n  5\n", first)
        end = data.index(b"\n", second + 15)
        return data[:second + 15] + h + data[end:]
    damage("ok_r2000.dxf", "audit_duplicate_handles.dxf", duplicate)
    def empty(data):
        at = data.index(b"  0\nCIRCLE\n  5\n", data.index(b"ENTITIES"))
        end = data.index(b"\n", at + 15)
        return data[:at + 15] + data[end:]
    damage("ok_r2000.dxf", "audit_empty_handle.dxf", empty)
    damage("ok_r2000.dxf", "audit_data_after_eof.dxf", lambda d: d + b"\x00\x17garbage \xff\xfe left by a copy\n")
    damage("ok_r2000_binary.dxf", "audit_binary_data_after_eof.dxf", lambda d: d + b"\x00\x01\x02 tail")
    def stray(data):
        at = data.index(b"  0\nENDSEC\n", data.index(b"ENTITIES"))
        return data[:at] + b"  0\nATTRIB\n  8\n0\n 10\n0\n 20\n0\n 40\n1\n  1\nX\n  2\nT\n" + data[at:]
    damage("ok_r2000.dxf", "audit_stray_attrib.dxf", stray)
    # Entities that cannot be read: dropped, the rest kept.
    damage("ok_r2000.dxf", "recover_bad_number.dxf",
           lambda d: d[:d.index(b"CIRCLE\n", d.index(b"ENTITIES"))] + b"CIRCLE\n 40\nnot a number\n"
           + d[d.index(b"CIRCLE\n", d.index(b"ENTITIES")) + 7:])
    damage("ok_r12.dxf", "recover_r12_bad_number.dxf",
           lambda d: d.replace(b"ARC\n", b"ARC\n 40\n1.5.5\n", 1))
    # Cut short: no EOF, the last entity incomplete.
    damage("ok_r2000.dxf", "recover_cut_short.dxf",
           lambda d: d[:d.index(b"\n", d.index(b"\n 10\n", d.index(b"POINT\n", d.index(b"ENTITIES"))) + 5)])
    damage("ok_r2000_binary.dxf", "recover_binary_cut_short.dxf",
           lambda d: d[:d.index(b"POINT\x00", d.index(b"ENTITIES\x00"))])
    # A line that is no group code.
    damage("ok_r2000.dxf", "recover_bad_group_code.dxf",
           lambda d: d.replace(b"  0\nARC\n", b"ZZ\nstray\n  0\nARC\n", 1))
    damage("ok_r2013.dxf", "recover_entities_not_closed.dxf",
           lambda d: d[:d.index(b"  0\nENDSEC\n", d.index(b"ENTITIES"))] + b"  0\nEOF\n")
    # Nothing of a drawing.
    with open(os.path.join(OUT, "refuse_not_dxf.dxf"), "wb") as f:
        f.write(b"%PDF-1.4 this is no drawing\n" * 20)
    with open(os.path.join(OUT, "refuse_empty.dxf"), "wb") as f:
        f.write(b"")
    damage("ok_r2000_binary.dxf", "refuse_binary_damaged_start.dxf",
           lambda d: d[:19] + b"X" + d[20:])
    print(len([f for f in os.listdir(OUT) if f.endswith(".dxf")]), "files in", OUT)


if __name__ == "__main__":
    sys.exit(main())
