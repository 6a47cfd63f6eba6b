"""The binary forms of resources, laid out as Windows stores them in a module, so that
FindResourceW callers see the same bytes: string-table blocks, extended menus and dialog
templates, icon group directories."""

import struct

from rc_lexer import ResourceError

# Predefined control classes travel as ordinals in dialog templates.
CLASS_ATOMS = {"BUTTON": 0x80, "EDIT": 0x81, "STATIC": 0x82, "LISTBOX": 0x83, "SCROLLBAR": 0x84, "COMBOBOX": 0x85}


def utf16(text):
    return text.encode("utf-16-le")


def utf16z(text):
    return utf16(text) + b"\0\0"


def _align4(buf):
    while len(buf) % 4:
        buf.append(0)


def string_block(strings):
    """Sixteen entries, each a 16-bit length in UTF-16 units and the units (no terminator)."""
    out = bytearray()
    for text in strings:
        data = utf16(text or "")
        out += struct.pack("<H", len(data) // 2) + data
    return bytes(out)


class MenuItem:
    def __init__(self, text, item_id, mf_type, state, children=None, where=None):
        self.text = text
        self.item_id = item_id
        self.mf_type = mf_type
        self.state = state
        self.children = children  # None for a command item, a list for a popup
        self.where = where


def menu_ex(items):
    """MENUEX template: header {version 1, offset 4, help id}, then items, each DWORD-aligned:
    type, state, id, WORD flags (0x80 last of its level, 0x01 popup), text, and for a popup
    its help id and its own items."""
    out = bytearray(struct.pack("<HHI", 1, 4, 0))

    def level(entries):
        for index, item in enumerate(entries):
            _align4(out)
            flags = (0x80 if index == len(entries) - 1 else 0) | (0x01 if item.children is not None else 0)
            out.extend(struct.pack("<IIIH", item.mf_type, item.state, item.item_id & 0xFFFFFFFF, flags))
            out.extend(utf16z(item.text))
            if item.children is not None:
                _align4(out)
                out.extend(struct.pack("<I", 0))
                if not item.children:
                    raise ResourceError(item.where, "a popup needs at least one item")
                level(item.children)

    if not items:
        raise ResourceError(None, "a menu needs at least one item")
    level(items)
    return bytes(out)


def _sz_or_ord(value):
    if value is None or value == "":
        return b"\0\0"
    if isinstance(value, int):
        return struct.pack("<HH", 0xFFFF, value)
    return utf16z(value)


class DialogControl:
    def __init__(self, class_name, text, control_id, x, y, cx, cy, style, ex_style, where):
        self.class_name = class_name
        self.text = text
        self.control_id = control_id
        self.rect = (x, y, cx, cy)
        self.style = style
        self.ex_style = ex_style
        self.where = where


class Dialog:
    def __init__(self):
        self.rect = (0, 0, 0, 0)
        self.help_id = 0
        self.style = None
        self.ex_style = 0
        self.caption = None
        self.font = None  # (point size, weight, italic, charset, typeface)
        self.menu = None
        self.class_name = None
        self.controls = []


DS_SETFONT = 0x40


def dialog_ex(dialog):
    """DLGTEMPLATEEX followed by DLGITEMTEMPLATEEX records."""
    if len(dialog.controls) > 0xFFFF:
        raise ResourceError(None, "too many controls")
    style = dialog.style
    if dialog.font is not None:
        style |= DS_SETFONT
    out = bytearray(struct.pack("<HHIIIH", 1, 0xFFFF, dialog.help_id, dialog.ex_style & 0xFFFFFFFF,
                                style & 0xFFFFFFFF, len(dialog.controls)))
    out += _pack_rect(dialog.rect, None)
    out += _sz_or_ord(dialog.menu)
    out += _sz_or_ord(dialog.class_name)
    out += utf16z(dialog.caption or "")
    if dialog.font is not None:
        size, weight, italic, charset, face = dialog.font
        out += struct.pack("<HHBB", size, weight, italic, charset) + utf16z(face)
    for control in dialog.controls:
        _align4(out)
        out += struct.pack("<III", 0, control.ex_style & 0xFFFFFFFF, control.style & 0xFFFFFFFF)
        out += _pack_rect(control.rect, control.where)
        out += struct.pack("<i", control.control_id)
        atom = CLASS_ATOMS.get(control.class_name.upper())
        out += _sz_or_ord(atom if atom is not None else control.class_name)
        out += _sz_or_ord(control.text)
        out += struct.pack("<H", 0)
    return bytes(out)


def _pack_rect(rect, where):
    for v in rect:
        if not -32768 <= v <= 32767:
            raise ResourceError(where, f"coordinate {v} is out of range")
    return struct.pack("<hhhh", *rect)


def icon_group(images):
    """GRPICONDIR: reserved, type 1, count, then per image width, height, colour count,
    reserved, planes, bit count, byte size and the RT_ICON id."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    for width, height, bits, size, icon_id in images:
        colors = (1 << bits) if bits < 8 else 0
        out += struct.pack("<BBBBHHIH", width & 0xFF, height & 0xFF, colors & 0xFF, 0, 1, bits, size, icon_id)
    return bytes(out)
