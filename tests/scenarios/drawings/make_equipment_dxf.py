#!/usr/bin/python3
"""Writes equipment.dxf: equipment block inserts for the system-name scenarios.

One block EQUIP_SD (a box with the attribute definitions generated equipment blocks carry)
inserted three times, each tagged "EquipmentBlock": at 10,10 naming model 1 of the starter
library, at 30,10 with an empty "Read Only EquipID", at 50,10 naming model 99999 (none).
A plain line lies from 70,10 to 75,10. Run with the python that has ezdxf.
"""
import os

import ezdxf

TAGS = ["SysName", "Location", "Manufacturer", "EquipmentName", "Alias",
        "Read Only EquipID", "Read Only PinWidth"]


def tag(kind, ref1=""):
    items = [("Entity_Type", kind), ("DB_Ref_1", ref1), ("DB_Ref_2", ""), ("DB_Ref_3", ""),
             ("DB_Ref_4", ""), ("Assoc", ""), ("SRC", ""), ("DST", ""),
             ("Tolvanev2", "Tolvanev2")]
    out = []
    for name, value in items:
        out += [(1002, "{"), (1000, name), (1000, value), (1002, "}")]
    return out


doc = ezdxf.new("R2000")
doc.appids.new("Tolvanev2")
block = doc.blocks.new("EQUIP_SD", base_point=(0, 0))
block.add_lwpolyline([(0, 0), (8, 0), (8, 6), (0, 6)], close=True)
for i, t in enumerate(TAGS):
    block.add_attdef(t, (0.5, 5 - 0.6 * i), dxfattribs={"height": 0.4}).dxf.text = t
msp = doc.modelspace()
for x, equip_id in ((10, "1"), (30, ""), (50, "99999")):
    insert = msp.add_blockref("EQUIP_SD", (x, 10))
    values = {t: t for t in TAGS}
    values.update({"Read Only EquipID": equip_id, "Read Only PinWidth": "1",
                   "Manufacturer": "Maker", "EquipmentName": "Model"})
    insert.add_auto_attribs(values)
    insert.set_xdata("Tolvanev2", tag("EquipmentBlock", equip_id))
msp.add_line((70, 10), (75, 10))
doc.saveas(os.path.join(os.path.dirname(os.path.abspath(__file__)), "equipment.dxf"))
