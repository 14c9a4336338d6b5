#!/usr/bin/python3
"""Checks the reshaped Excel report of the project3 documentation set with openpyxl,
an independent reader: one sheet per chapter named after its title, the title
cell below 13 points, the pages of a chapter gathered, no page sheet left."""
import sys
import zipfile

import openpyxl

wb = openpyxl.load_workbook(sys.argv[1])
errors = []
expected = ['1. Project Overview']
for k in (1, 2, 3):
    expected += ['2.%d%s' % (k, t) for t in ('. Node Overview', '.1. Image View', '.2. Address Map',
                                             '.3. Parameters', '.4. Inquiry')]
expected.append('3. Project Inquiry')
if wb.sheetnames != expected:
    errors.append('sheet names %r' % wb.sheetnames)
for ws in wb.worksheets:
    a1 = ws.cell(1, 1)
    if a1.value != ws.title:
        errors.append('%s: A1 is %r' % (ws.title, a1.value))
    if not a1.font.sz or a1.font.sz >= 13:
        errors.append('%s: A1 font %r' % (ws.title, a1.font.sz))
    # A gathered table has no empty rows inside it (a picture's row, as tall
    # as its picture, holds no value).
    for r in range(1, ws.max_row + 1):
        tall = (ws.row_dimensions[r].height or 0) > 30
        if not tall and all(ws.cell(r, c).value is None for c in range(1, 8)):
            errors.append('%s: row %d is empty' % (ws.title, r))
            break
if '2.2.2. Address Map' in wb.sheetnames:
    ws = wb['2.2.2. Address Map']
    di = [r for r in range(1, ws.max_row + 1) if ws.cell(r, 2).value == 'DI']
    # 64 of the four input modules, 2 of the power module.
    if len(di) != 66:
        errors.append('DI rows %d' % len(di))
    # Channel number and bit size are number cells, the addresses text.
    rows = [[ws.cell(r, c).value for c in range(1, 8)] for r in di]
    if rows[63] != [15, 'DI', 1, '0x0004/0F', '0x004F', ' ', ' ']:
        errors.append('last DI row of the input modules %r' % rows[63])
    if rows[-1] != [1, 'DI', 1, '0x0005/01', '0x0051', ' ', ' ']:
        errors.append('last DI row %r' % rows[-1])
ws = wb['1. Project Overview']
rows = [[ws.cell(r, c).value for c in range(1, 5)] for r in range(1, ws.max_row + 1)]
if ['Line A & Press <1>', 'QMX-4101', 'Modbus TCP network adapter, two Ethernet ports, up to 32 I/O modules',
        None] not in rows:
    errors.append('overview rows %r' % rows[:4])
if ['Tank <level>', 'QMX-3404', '4 AI 4-20 mA', 3] not in rows:
    errors.append('module slot %r' % rows[:6])
ws = wb['3. Project Inquiry']
items = [[ws.cell(r, c).value for c in range(1, 5)] for r in range(1, ws.max_row + 1)]
if [1, 'QMX-1808', 'QMX1808-0000', 1] not in items:
    errors.append('parts list rows %r' % items[:4])
# One station picture per Image View sheet (openpyxl keeps pictures only with PIL; read the package).
with zipfile.ZipFile(sys.argv[1]) as package:
    media = [n for n in package.namelist() if n.startswith('xl/media/')]
if len(media) != 3:
    errors.append('pictures %r' % media)
print('\n'.join(errors) if errors else 'OK')
