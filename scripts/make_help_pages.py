#!/usr/bin/env python3
"""Writes the product pages and the validation-code page of the program's help
(resources/QMX410Tools/Help) from the shipped catalogue: one "<item name>.htm"
per product of the adapter and module lists, "Vexo Information.htm" (the
system's technical data with the list of products) and "ValidationErrCode.htm"
from the error list. Run again after the catalogue changed. The other pages of
the folder, the manual of the program's commands (Introduction.htm is its
contents), are written by hand with the same style and footer.

    scripts/make_help_pages.py [resources/QMX410Tools]
"""
import html
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

ROOT = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources/QMX410Tools")
PRODUCTS = ROOT / "Products"
HELP = ROOT / "Help"

STYLE = """<style>
body { font-family: sans-serif; font-size: 10pt; }
h1 { font-size: 15pt; } h2 { font-size: 12pt; margin-top: 14px; }
table { border-collapse: collapse; } td, th { border: 1px solid #999; padding: 2px 6px; }
th { background: #e4e8f0; text-align: left; }
</style>"""


def parse(path):
    """An euc-kr file, which the XML parser does not decode itself."""
    raw = Path(path).read_bytes().decode("euc-kr")
    return ET.fromstring(raw.replace('encoding="euc-kr"', 'encoding="utf-8"', 1).encode("utf-8"))


def texts():
    table = {}
    for node in parse(PRODUCTS / "listTextIdEng.xml").iter("Text"):
        table.setdefault(node.get("TextId"), (node.get("Value", ""), node.get("DescValue", "")))
    return table


TEXTS = texts()


def text(text_id, desc=False):
    value = TEXTS.get(text_id or "", (text_id or "", ""))
    return value[1] if desc else value[0]


def esc(value):
    return html.escape(value or "", quote=False)


def sentence(value):
    value = (value or "").strip()
    return value if not value or value.endswith(".") else value + "."


def page(title, body):
    return (f"<html>\n<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"><title>{esc(title)}</title>\n{STYLE}\n</head>\n<body>\n{body}\n"
            '<hr><p><a href="Introduction.htm">Contents</a> | '
            '<a href="Vexo%20Information.htm">Technical data of the I/O system</a></p>\n</body>\n</html>\n')


def rows(header, lines):
    if not lines:
        return "<p>None.</p>"
    out = ["<table>", "<tr>" + "".join(f"<th>{esc(h)}</th>" for h in header) + "</tr>"]
    for line in lines:
        out.append("<tr>" + "".join(f"<td>{esc(str(c))}</td>" for c in line) + "</tr>")
    out.append("</table>")
    return "\n".join(out)


def spec_rows(info):
    spec = info.find("Specification")
    lines = []
    if spec is None:
        return lines
    for node in spec:
        if node.tag == "Items":
            for ref in node.iter("Ref"):
                if ref.get("Visible", "true") == "true":
                    lines.append((text(ref.get("TextId")), f"{ref.get('Value', '')} {ref.get('Unit', '')}".strip()))
        elif node.get("Visible", "true") == "true" and node.get("TextId"):
            lines.append((text(node.get("TextId")), f"{node.get('Value', '')} {node.get('Unit', '')}".strip()))
    return lines


def value_lists(info):
    lists = {}
    for item in info.iter("ValueItem"):
        lists[item.get("ID")] = [text(v.get("TextId")) or v.get("Content", "") for v in item.iter("Value")]
    return lists


def parameter_rows(info):
    lists = value_lists(info)
    lines = []
    params = info.find("Parameters")
    if params is None:
        return lines
    for ref in params.iter("Ref"):
        if ref.get("Visible", "true") != "true":
            continue
        choices = lists.get(ref.get("ValueItemTarget") or "", [])
        allowed = ref.get("AllowedValues") or ref.get("DataType", "")
        # "kind,min,max" (kind 1: a range) or "min,max".
        bounds = [b.strip() for b in allowed.split(",")]
        if len(bounds) in (2, 3) and all(b.lstrip("-").isdigit() for b in bounds):
            allowed = f"{bounds[-2]} ... {bounds[-1]}"
        if choices:
            allowed = ", ".join(choices)
        default = ref.get("DefaultValue", "")
        if choices and default.isdigit() and int(default) < len(choices):
            default = choices[int(default)]
        lines.append((text(ref.get("TextId")), default, allowed,
                      "yes" if ref.get("Changeable", "true") == "true" else "no"))
    return lines


def io_rows(info):
    lines = []
    data = info.find("IOData")
    if data is None:
        return lines
    for direction in ("Input", "Output"):
        for part in data.iter(direction):
            for item in part.iter("Item"):
                if item.get("Visible", "true") != "true":
                    continue
                lines.append((direction, text(item.get("TextId")), item.get("ChannelType", ""),
                              item.get("DataType", ""), item.get("Unit", "")))
    return lines


def product_page(path, kind):
    info = parse(path).find("DeviceInfo")
    general = info.find("General")
    name_id = general.find("Name").get("TextId")
    name = text(name_id)
    info_id = general.find("InfoText").get("TextId") if general.find("InfoText") is not None else ""
    key_spec = general.find("KeySpec").get("Value") if general.find("KeySpec") is not None else ""
    order = general.find("OrderNumber").get("Value") if general.find("OrderNumber") is not None else ""
    what = "a network adapter" if kind == "NA" else "an I/O module"
    body = [f"<h1>{esc(name)}</h1>",
            f"<p><b>{esc(text(name_id, True))}</b></p>",
            f"<p>The {esc(name)} is {what} of the QMX-410 I/O system. {esc(sentence(text(info_id, True) or text(info_id)))}</p>"]
    if info.get("Category", "").startswith("R") or info.get("BusType") == "POWERLINK":
        body.append('<p>It belongs to the POWERLINK line: see <a href="XddExport.htm">XDD file for POWERLINK</a>.</p>')
    if key_spec:
        body.append(f"<p>Key data: {esc(key_spec)}.</p>")
    if order:
        body.append(f"<p>Order number: {esc(order)}.</p>")
    if kind == "NA":
        buses = [d.get("CommType") for d in info.iter() if d.tag.startswith("CommDriver")]
        body.append(f"<p>Bus types: {esc(', '.join(b for b in buses if b) or info.get('BusType', ''))}.</p>")
    body.append("<h2>Technical data</h2>")
    body.append(rows(("Item", "Value"), spec_rows(info)))
    body.append("<h2>I/O data</h2>")
    data = info.find("IOData")
    if data is not None:
        body.append(f"<p>Input image {data.get('InputLength', '0')} bytes, "
                    f"output image {data.get('OutputLength', '0')} bytes.</p>")
    body.append(rows(("Direction", "Channel", "Type", "Data type", "Unit"), io_rows(info)))
    body.append("<h2>Parameters</h2>")
    body.append(rows(("Parameter", "Default", "Allowed values", "Settable"), parameter_rows(info)))
    return name, page(name, "\n".join(body))


def products():
    for list_file, folder, kind in (("listNA.xml", "NA", "NA"), ("listIO.xml", "IO", "IO")):
        for ref in parse(PRODUCTS / list_file).iter("ItemRef"):
            if ref.get("Available", "true") != "true" or ref.get("TextId", "").endswith("xxxx"):
                continue
            path = PRODUCTS / folder / ref.get("DefineFileName")
            if path.exists():
                yield path, kind


def validation_page():
    lines = []
    for category in parse(PRODUCTS / "listErrorEng.xml").iter("Category"):
        if category.get("GeneratorID") != "ID_Ferrow":
            continue
        for err in category.iter("Error"):
            lines.append((err.get("Value"), err.get("Class"), err.get("Description"), err.get("Action")))
    body = ["<h1>Validation error codes</h1>",
            "<p>Check Validation holds each network adapter and its modules against the rules below; "
            "the result window lists every broken rule with its code. The same rules guard adding, "
            "removing and moving modules.</p>",
            rows(("Code", "Class", "Meaning", "What to do"), lines)]
    return page("Validation error codes", "\n".join(body))


def system_page(catalogue):
    body = ["<h1>QMX-410 I/O system: technical data</h1>",
            "<p>A QMX-410 station is one network adapter with up to its maximum expansion of I/O modules "
            "plugged in a row to its right. The adapter connects the station to the bus (Modbus TCP, "
            "Modbus RTU on RS232C, RS422 or RS485, or POWERLINK) and exchanges the modules' input and "
            "output images with the controller.</p>",
            "<h2>System power</h2>",
            "<p>The adapter supplies the modules' electronics up to its <i>Max. System Current for I/O "
            "Modules</i>. Each module draws its <i>System Current Consumption</i>; a system power module "
            "adds its current for the modules after it. A station whose modules draw more than is supplied "
            "is refused with code -101.</p>",
            "<h2>Field power</h2>",
            "<p>The sensors and actuators are fed by field power, which runs through the modules from a "
            "field power module onwards. Modules of one field-power group must follow each other; a module "
            "that cuts the field power starts a new group. Adding, removing and moving modules is checked "
            "against these groups (codes -105, -106 and -111).</p>",
            "<h2>Images</h2>",
            "<p>The input and output data of all communicating modules must fit the adapter's input and "
            "output image sizes (codes -103 and -104), and their number its maximum expansion (-102).</p>",
            '<p>See <a href="ValidationErrCode.htm">Validation error codes</a> for every rule.</p>',
            "<h2>Products</h2>",
            rows(("Product", "Kind", "Description"), [])]
    table = ["<table>", "<tr><th>Product</th><th>Kind</th><th>Description</th></tr>"]
    for name, kind, desc in catalogue:
        table.append(f'<tr><td><a href="{html.escape(name)}.htm">{esc(name)}</a></td>'
                     f"<td>{'Network adapter' if kind == 'NA' else 'I/O module'}</td><td>{esc(desc)}</td></tr>")
    table.append("</table>")
    body[-1] = "\n".join(table)
    return page("QMX-410 I/O system: technical data", "\n".join(body))


def main():
    HELP.mkdir(parents=True, exist_ok=True)
    catalogue = []
    for path, kind in products():
        name, text_ = product_page(path, kind)
        (HELP / f"{name}.htm").write_text(text_, encoding="utf-8")
        name_id = parse(path).find("DeviceInfo").find("General").find("Name").get("TextId")
        catalogue.append((name, kind, text(name_id, True)))
    (HELP / "Vexo Information.htm").write_text(system_page(catalogue), encoding="utf-8")
    (HELP / "ValidationErrCode.htm").write_text(validation_page(), encoding="utf-8")


if __name__ == "__main__":
    main()
