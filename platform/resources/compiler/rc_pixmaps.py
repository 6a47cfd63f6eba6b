"""Text pixel maps (one character per pixel, a palette naming the colour of each character) and
their device-independent bitmap forms: icon images with their AND masks, and packed bitmaps."""

import struct

from rc_lexer import ResourceError

TRANSPARENT = None


class Palette:
    def __init__(self):
        self.colors = {}  # character -> (r, g, b) or TRANSPARENT

    def add(self, key, color, where):
        if len(key) != 1:
            raise ResourceError(where, f"palette key {key!r} must be one character")
        if key in self.colors:
            raise ResourceError(where, f"palette key {key!r} given twice")
        self.colors[key] = color


def parse_color(text, where):
    """'#RRGGBB' -> (r, g, b)."""
    if len(text) != 7 or text[0] != "#":
        raise ResourceError(where, f"colour {text!r} must be written \"#RRGGBB\"")
    try:
        value = int(text[1:], 16)
    except ValueError:
        raise ResourceError(where, f"colour {text!r} must be written \"#RRGGBB\"") from None
    return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


class PixelMap:
    """Rows of palette keys, top row first, resolved into colours."""

    def __init__(self, rows, palette, where, allow_transparent):
        if not rows:
            raise ResourceError(where, "a pixel map needs at least one row")
        width = len(rows[0])
        if width == 0:
            raise ResourceError(where, "a pixel map row must not be empty")
        self.width = width
        self.height = len(rows)
        self.pixels = []
        for y, row in enumerate(rows):
            if len(row) != width:
                raise ResourceError(where, f"row {y + 1} has {len(row)} pixels, the first has {width}")
            for key in row:
                if key not in palette.colors:
                    raise ResourceError(where, f"row {y + 1}: {key!r} is not in the palette")
                color = palette.colors[key]
                if color is TRANSPARENT and not allow_transparent:
                    raise ResourceError(where, "a bitmap has no transparent pixels")
                self.pixels.append(color)

    def scaled(self, factor):
        copy = PixelMap.__new__(PixelMap)
        copy.width = self.width * factor
        copy.height = self.height * factor
        copy.pixels = []
        for y in range(copy.height):
            row = self.pixels[(y // factor) * self.width:(y // factor + 1) * self.width]
            for x in range(copy.width):
                copy.pixels.append(row[x // factor])
        return copy

    def distinct_colors(self):
        seen = []
        for color in self.pixels:
            if color is not TRANSPARENT and color not in seen:
                seen.append(color)
        return seen


def _row_bytes(bits, width):
    return ((width * bits + 31) // 32) * 4


def _pack_rows(pixel_map, bits, palette_index):
    """Bottom-up rows of the colour plane at the given depth, each padded to 4 bytes."""
    out = bytearray()
    stride = _row_bytes(bits, pixel_map.width)
    for y in range(pixel_map.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(pixel_map.width):
            color = pixel_map.pixels[y * pixel_map.width + x]
            if bits == 32:
                r, g, b = color if color is not TRANSPARENT else (0, 0, 0)
                row[x * 4:x * 4 + 4] = bytes((b, g, r, 0 if color is TRANSPARENT else 255))
            elif bits == 24:
                r, g, b = color
                row[x * 3:x * 3 + 3] = bytes((b, g, r))
            else:
                index = palette_index[color] if color is not TRANSPARENT else 0
                per_byte = 8 // bits
                shift = (per_byte - 1 - x % per_byte) * bits
                row[x // per_byte] |= index << shift
        out += row
    return bytes(out)


def _pack_mask(pixel_map):
    out = bytearray()
    stride = _row_bytes(1, pixel_map.width)
    for y in range(pixel_map.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(pixel_map.width):
            if pixel_map.pixels[y * pixel_map.width + x] is TRANSPARENT:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def _palette_for(colors, bits):
    table = list(colors) + [(0, 0, 0)] * ((1 << bits) - len(colors))
    index = {color: i for i, color in enumerate(colors)}
    rgbquads = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    return rgbquads, index


def _info_header(width, height, bits, image_size, colors_used):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, colors_used, 0)


def choose_depth(color_count, requested, where):
    if requested is not None:
        if requested not in (1, 4, 8, 24, 32):
            raise ResourceError(where, f"BITS {requested}: use 1, 4, 8, 24 or 32")
        if requested <= 8 and color_count > (1 << requested):
            raise ResourceError(where, f"{color_count} colours do not fit in {requested} bits")
        return requested
    if color_count <= 16:
        return 4
    if color_count <= 256:
        return 8
    return 24


def icon_image(pixel_map):
    """An RT_ICON image: header of double height, palette, colour plane, AND mask. Sixteen
    colours or fewer give a 4-bit image, more a 32-bit image with alpha."""
    colors = pixel_map.distinct_colors()
    bits = 4 if len(colors) <= 16 else 32
    palette, index = _palette_for(colors, bits) if bits <= 8 else (b"", {})
    xor = _pack_rows(pixel_map, bits, index)
    mask = _pack_mask(pixel_map)
    header = _info_header(pixel_map.width, pixel_map.height * 2, bits, len(xor) + len(mask),
                          (1 << bits) if bits <= 8 else 0)
    return bits, header + palette + xor + mask


def packed_bitmap(pixel_map, requested_bits, where):
    """An RT_BITMAP: BITMAPINFOHEADER, palette (8 bits or fewer) and bottom-up rows."""
    colors = pixel_map.distinct_colors()
    bits = choose_depth(len(colors), requested_bits, where)
    palette, index = _palette_for(colors, bits) if bits <= 8 else (b"", {})
    rows = _pack_rows(pixel_map, bits, index)
    header = _info_header(pixel_map.width, pixel_map.height, bits, len(rows), (1 << bits) if bits <= 8 else 0)
    return header + palette + rows
