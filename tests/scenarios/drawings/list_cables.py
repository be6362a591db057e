#!/usr/bin/python3
"""Lists what cable drawing left in a saved drawing, as another DXF reader sees it: the
tagged cable polylines (layer, colour, vertices, end strings, number-text handles), the
cable-number texts (value, layer, style, height, alignment, place), the pointer and terminal
inserts, and the signal-type layers. Run with the python that has ezdxf; argument: the file.
"""
import sys

import ezdxf


def items(entity):
    if not entity.has_xdata("Tolvanev2"):
        return {}
    values = [v for code, v in entity.get_xdata("Tolvanev2") if code == 1000]
    return dict(zip(values[0::2], values[1::2]))


def num(v):
    return f"{v:.4f}".rstrip("0").rstrip(".")


doc = ezdxf.readfile(sys.argv[1])
msp = doc.modelspace()
for e in msp:
    tag = items(e)
    kind = tag.get("Entity_Type")
    if kind == "Cable":
        points = [(p[0], p[1]) for p in e.get_points()] if e.dxftype() == "LWPOLYLINE" else \
            [(v.dxf.location.x, v.dxf.location.y) for v in e.vertices]
        print(f"CABLE {e.dxf.handle} layer={e.dxf.layer} color={e.dxf.color} "
              f"vertices={' '.join(num(x) + ',' + num(y) for x, y in points)}")
        print(f"  SRC={tag['SRC']}  DST={tag['DST']}  ASSOC={tag['Assoc']}")
    elif kind == "CableNo":
        at = e.dxf.align_point if e.dxf.halign else e.dxf.insert
        print(f"NUMBER {e.dxf.handle} '{e.dxf.text}' layer={e.dxf.layer} color={e.dxf.color} "
              f"style={e.dxf.style} height={num(e.dxf.height)} halign={e.dxf.halign} "
              f"at={num(at[0])},{num(at[1])} cable={tag['Assoc']}")
    elif e.dxftype() == "INSERT" and kind in ("Jack", "JBox", "Router", "Pointer"):
        print(f"{kind.upper()} {e.dxf.name} at={num(e.dxf.insert[0])},{num(e.dxf.insert[1])}")
        if kind == "Pointer":
            shown = {a.dxf.tag: a.dxf.text for a in e.attribs if a.dxf.text}
            print(f"  partner={tag['Assoc']} {shown}")
names = sorted(layer.dxf.name for layer in doc.layers)
print("LAYERS " + " ".join(n for n in names if n.upper().startswith(("DGA", "AUD", "SYNC", "CABLES"))))
