"""Statements of resource source and the resources they make."""

import os

import rc_binary
import rc_pixmaps
from rc_constants import ExpressionParser
from rc_lexer import ResourceError, Token, tokenize

RT_BITMAP, RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_RCDATA, RT_GROUP_ICON = 2, 3, 4, 5, 6, 10, 14

# Statement keyword -> (window class, default style added to WS_CHILD | WS_VISIBLE, has text).
CONTROL_KINDS = {
    "LTEXT": ("Static", "SS_LEFT | WS_GROUP", True),
    "RTEXT": ("Static", "SS_RIGHT | WS_GROUP", True),
    "CTEXT": ("Static", "SS_CENTER | WS_GROUP", True),
    "PUSHBUTTON": ("Button", "BS_PUSHBUTTON | WS_TABSTOP", True),
    "DEFPUSHBUTTON": ("Button", "BS_DEFPUSHBUTTON | WS_TABSTOP", True),
    "CHECKBOX": ("Button", "BS_CHECKBOX | WS_TABSTOP", True),
    "AUTOCHECKBOX": ("Button", "BS_AUTOCHECKBOX | WS_TABSTOP", True),
    "RADIOBUTTON": ("Button", "BS_RADIOBUTTON", True),
    "AUTORADIOBUTTON": ("Button", "BS_AUTORADIOBUTTON", True),
    "GROUPBOX": ("Button", "BS_GROUPBOX", True),
    "EDITTEXT": ("Edit", "ES_LEFT | WS_BORDER | WS_TABSTOP", False),
    "COMBOBOX": ("ComboBox", "CBS_SIMPLE | WS_TABSTOP", False),
}

# Menu item options -> (type bits, state bits), as MENUEX stores them.
MENU_OPTIONS = {
    "GRAYED": (0, 0x3),
    "INACTIVE": (0, 0x2),
    "DISABLED": (0, 0x3),
    "CHECKED": (0, 0x8),
    "DEFAULT": (0, 0x1000),
    "MENUBREAK": (0x40, 0),
    "MENUBARBREAK": (0x20, 0),
    "HELP": (0x4000, 0),
    "RADIOCHECK": (0x200, 0),
}
MFT_SEPARATOR = 0x800

KEYWORDS = {"BEGIN", "END", "STRINGTABLE", "MENU", "MENUEX", "DIALOG", "DIALOGEX", "ICON", "BITMAP",
            "PALETTE", "LANGUAGE", "RCDATA"}


class Resource:
    def __init__(self, rtype, name, data, where):
        self.rtype = rtype  # int or upper-case str
        self.name = name
        self.data = data
        self.where = where


class SourceReader:
    """Reads source and data files, resolving names against the including file's folder and
    the include folders, and remembers every file read for the dependency list."""

    def __init__(self, include_dirs):
        self.include_dirs = include_dirs
        self.files_read = []

    def resolve(self, name, relative_to, where):
        candidates = [os.path.join(os.path.dirname(relative_to), name)] + [os.path.join(d, name) for d in self.include_dirs]
        for path in candidates:
            if os.path.isfile(path):
                return os.path.abspath(path)
        raise ResourceError(where, f"cannot find {name!r}")

    def read_bytes(self, path):
        self.files_read.append(path)
        with open(path, "rb") as f:
            return f.read()

    def read_text(self, path, where):
        try:
            return self.read_bytes(path).decode("utf-8-sig")
        except UnicodeDecodeError:
            raise ResourceError(where, f"{os.path.basename(path)} is not UTF-8 text") from None


def preprocess(tokens, constants, reader, filename, depth=0):
    """Applies #define and #include in order; headers (.h) give only their definitions."""
    out = []
    for t in tokens:
        if t.kind == "define":
            constants.define(t.value[0], t.value[1], t.where)
        elif t.kind == "include":
            if depth > 16:
                raise ResourceError(t.where, "includes nested too deeply")
            path = reader.resolve(t.value, filename, t.where)
            text = reader.read_text(path, t.where)
            if path.endswith((".h", ".hpp")):
                constants.load_header_text(text, path)
            else:
                out += preprocess(tokenize(text, path), constants, reader, path, depth + 1)
        else:
            out.append(t)
    return out


class Parser:
    def __init__(self, tokens, constants, reader, filename):
        self.tokens = tokens
        self.pos = 0
        self.constants = constants
        self.reader = reader
        self.filename = filename
        self.resources = []
        self.palettes = {}
        self.next_icon_id = 1
        self.strings = {}  # id -> (text, where)

    # -- token helpers ---------------------------------------------------------------------

    def peek(self, offset=0):
        i = self.pos + offset
        return self.tokens[i] if i < len(self.tokens) else None

    def where(self):
        t = self.peek()
        if t is not None:
            return t.where
        return self.tokens[-1].where if self.tokens else (self.filename, 1)

    def next(self, what="more input"):
        t = self.peek()
        if t is None:
            raise ResourceError(self.where(), f"{what} expected at end of file")
        self.pos += 1
        return t

    def accept_punct(self, value):
        t = self.peek()
        if t is not None and t.kind == "punct" and t.value == value:
            self.pos += 1
            return True
        return False

    def expect_punct(self, value):
        if not self.accept_punct(value):
            raise ResourceError(self.where(), f"'{value}' expected{self._near()}")

    def accept_word(self, *words):
        t = self.peek()
        if t is not None and t.is_word(*words):
            self.pos += 1
            return t.value.upper()
        return None

    def expect_word(self, *words):
        found = self.accept_word(*words)
        if found is None:
            raise ResourceError(self.where(), f"{' or '.join(words)} expected{self._near()}")
        return found

    def _near(self):
        t = self.peek()
        return f" near {t.value!r}" if t is not None else ""

    def begin(self):
        if not (self.accept_word("BEGIN") or self.accept_punct("{")):
            raise ResourceError(self.where(), f"BEGIN expected{self._near()}")

    def at_end_of_block(self):
        t = self.peek()
        if t is None:
            raise ResourceError(self.where(), "END expected at end of file")
        if t.is_word("END") or (t.kind == "punct" and t.value == "}"):
            self.pos += 1
            return True
        return False

    def string(self, what="a string"):
        t = self.next(what)
        if t.kind != "string":
            raise ResourceError(t.where, f"{what} expected near {t.value!r}")
        value = t.value
        while self.peek() is not None and self.peek().kind == "string":
            value += self.next().value
        return value

    def integer(self, what="a number"):
        start = self.peek()
        if start is None:
            raise ResourceError(self.where(), f"{what} expected at end of file")
        parser = ExpressionParser(self.tokens, self.constants, pos=self.pos)
        try:
            value = parser.expression()
        except ResourceError as e:
            raise ResourceError(e.where or start.where, e.message) from None
        if value is None:
            unknown = [t.value for t in self.tokens[self.pos:parser.pos]
                       if t.kind == "ident" and self.constants.value(t.value) is None]
            raise ResourceError(start.where, f"unknown name {unknown[0] if unknown else start.value!r} in {what}")
        self.pos = parser.pos
        return value

    def style(self, base):
        """Terms joined by '|'; a term after NOT clears its bits instead of setting them."""
        value = base
        while True:
            negate = self.accept_word("NOT") is not None
            start = self.peek()
            parser = ExpressionParser(self.tokens, self.constants, pos=self.pos)
            term = parser.term()
            if term is None:
                raise ResourceError(start.where, f"unknown name {start.value!r} in a style")
            self.pos = parser.pos
            value = (value & ~term) if negate else (value | term)
            if not self.accept_punct("|"):
                return value & 0xFFFFFFFF

    def named_constant(self, expression, where):
        tokens = tokenize(expression, "<builtin>")
        parser = ExpressionParser(tokens, self.constants)
        value = parser.expression()
        if value is None:
            raise ResourceError(where, f"the window headers do not define {expression}")
        return value

    def resource_name(self, t):
        if t.kind == "number":
            if not 0 < t.value <= 0xFFFF:
                raise ResourceError(t.where, f"resource number {t.value} is out of range 1..65535")
            return t.value
        if t.kind == "ident":
            value = self.constants.value(t.value)
            if value is not None:
                if not 0 < value <= 0xFFFF:
                    raise ResourceError(t.where, f"resource number {value} is out of range 1..65535")
                return value
            return t.value.upper()
        if t.kind == "string":
            if not t.value:
                raise ResourceError(t.where, "a resource name must not be empty")
            return t.value.upper()
        raise ResourceError(t.where, f"resource name expected near {t.value!r}")

    def add(self, rtype, name, data, where):
        for r in self.resources:
            if r.rtype == rtype and r.name == name:
                raise ResourceError(where, f"resource {name!r} of this type is defined twice (first at line {r.where[1]})")
        self.resources.append(Resource(rtype, name, data, where))

    # -- statements ------------------------------------------------------------------------

    def parse(self):
        while self.peek() is not None:
            t = self.peek()
            if t.is_word("STRINGTABLE"):
                self.pos += 1
                self.string_table()
            elif t.is_word("LANGUAGE"):
                self.pos += 1
                self.integer("a language")
                self.expect_punct(",")
                self.integer("a sub-language")
            elif t.is_word("PALETTE"):
                self.pos += 1
                name_token = self.next("a palette name")
                if name_token.kind != "ident":
                    raise ResourceError(name_token.where, "a palette name expected")
                self.palettes[name_token.value.upper()] = self.palette_block()
            else:
                self.resource()
        self.finish_strings()
        return self.resources

    def resource(self):
        name_token = self.next()
        name = self.resource_name(name_token)
        type_token = self.next("a resource type")
        where = name_token.where
        kind = type_token.value.upper() if type_token.kind == "ident" else None
        if kind in ("MENU", "MENUEX"):
            self.add(RT_MENU, name, rc_binary.menu_ex(self.menu_items()), where)
        elif kind in ("DIALOG", "DIALOGEX"):
            self.add(RT_DIALOG, name, rc_binary.dialog_ex(self.dialog()), where)
        elif kind == "ICON":
            self.icon(name, where)
        elif kind == "BITMAP":
            self.add(RT_BITMAP, name, self.with_body_source(self.bitmap_body), where)
        else:
            if kind == "RCDATA":
                rtype = RT_RCDATA
            elif type_token.kind == "ident" and kind not in KEYWORDS:
                rtype = kind
            elif type_token.kind == "number" and 0 < type_token.value <= 0xFFFF:
                rtype = type_token.value
            elif type_token.kind == "string" and type_token.value:
                rtype = type_token.value.upper()
            else:
                raise ResourceError(type_token.where, f"resource type expected near {type_token.value!r}")
            file_token = self.next("a file name")
            if file_token.kind != "string":
                raise ResourceError(file_token.where, "a resource of this type names its file in quotes")
            path = self.reader.resolve(file_token.value, file_token.where[0], file_token.where)
            self.add(rtype, name, self.reader.read_bytes(path), where)

    def string_table(self):
        while self.accept_word("LANGUAGE"):
            self.integer()
            self.expect_punct(",")
            self.integer()
        self.begin()
        while not self.at_end_of_block():
            where = self.where()
            string_id = self.integer("a string id")
            if not 0 <= string_id <= 0xFFFF:
                raise ResourceError(where, f"string id {string_id} is out of range 0..65535")
            self.accept_punct(",")
            text = self.string()
            if len(text.encode("utf-16-le")) // 2 > 0xFFFF:
                raise ResourceError(where, f"string {string_id} is longer than 65535 UTF-16 units")
            if string_id in self.strings:
                raise ResourceError(where, f"string {string_id} is defined twice (first at line {self.strings[string_id][1][1]})")
            self.strings[string_id] = (text, where)

    def finish_strings(self):
        blocks = {}
        for string_id, (text, where) in self.strings.items():
            blocks.setdefault(string_id // 16, [None] * 16)[string_id % 16] = text
        for block, strings in sorted(blocks.items()):
            self.resources.append(Resource(RT_STRING, block + 1, rc_binary.string_block(strings), None))

    def menu_items(self):
        while self.accept_word("LANGUAGE", "CHARACTERISTICS", "VERSION"):
            self.integer()
            self.accept_punct(",") and self.integer()
        self.begin()
        items = []
        while not self.at_end_of_block():
            where = self.where()
            word = self.expect_word("MENUITEM", "POPUP")
            if word == "MENUITEM" and self.accept_word("SEPARATOR"):
                items.append(rc_binary.MenuItem("", 0, MFT_SEPARATOR, 0, None, where))
                continue
            text = self.string("the item's text")
            item_id = 0
            if word == "MENUITEM":
                self.expect_punct(",")
                item_id = self.integer("a command id")
            elif self.accept_punct(","):
                t = self.peek()
                if t is not None and not t.is_word(*MENU_OPTIONS):
                    item_id = self.integer("a popup id")
            mf_type, state = self.menu_options()
            children = self.menu_items() if word == "POPUP" else None
            items.append(rc_binary.MenuItem(text, item_id, mf_type, state, children, where))
        return items

    def menu_options(self):
        mf_type = state = 0
        while True:
            self.accept_punct(",")
            t = self.peek()
            if t is None or not t.is_word(*MENU_OPTIONS):
                return mf_type, state
            self.pos += 1
            add_type, add_state = MENU_OPTIONS[t.value.upper()]
            mf_type |= add_type
            state |= add_state

    def dialog(self):
        d = rc_binary.Dialog()
        where = self.where()
        x = self.integer("x")
        self.expect_punct(",")
        y = self.integer("y")
        self.expect_punct(",")
        cx = self.integer("width")
        self.expect_punct(",")
        cy = self.integer("height")
        d.rect = (x, y, cx, cy)
        if self.accept_punct(","):
            d.help_id = self.integer("a help id")
        style = None
        while True:
            word = self.accept_word("STYLE", "EXSTYLE", "CAPTION", "FONT", "MENU", "CLASS", "LANGUAGE",
                                    "CHARACTERISTICS", "VERSION")
            if word is None:
                break
            if word == "STYLE":
                style = self.style(0)
            elif word == "EXSTYLE":
                d.ex_style = self.style(0)
            elif word == "CAPTION":
                d.caption = self.string("a caption")
            elif word == "FONT":
                size = self.integer("a point size")
                self.expect_punct(",")
                face = self.string("a typeface")
                weight = italic = charset = 0
                if self.accept_punct(","):
                    weight = self.integer("a weight")
                    if self.accept_punct(","):
                        italic = self.integer("the italic flag")
                        if self.accept_punct(","):
                            charset = self.integer("a character set")
                if not (0 < size < 0x10000):
                    raise ResourceError(where, "font size out of range")
                d.font = (size, weight & 0xFFFF, italic & 0xFF, charset & 0xFF, face)
            elif word == "MENU":
                d.menu = self.resource_name(self.next("a menu name"))
            elif word == "CLASS":
                d.class_name = self.string("a class name")
            elif word == "LANGUAGE":
                self.integer()
                self.expect_punct(",")
                self.integer()
            else:
                self.integer()
        if style is None:
            style = self.named_constant("WS_POPUP | WS_BORDER | WS_SYSMENU", where)
            if d.caption is not None:
                style |= self.named_constant("WS_CAPTION", where)
        d.style = style
        self.begin()
        while not self.at_end_of_block():
            d.controls.append(self.control())
        return d

    def control(self):
        where = self.where()
        word = self.next("a control")
        if word.kind != "ident":
            raise ResourceError(word.where, f"a control statement expected near {word.value!r}")
        kind = word.value.upper()
        base = self.named_constant("WS_CHILD | WS_VISIBLE", where)
        if kind == "CONTROL":
            text = self.control_text()
            self.expect_punct(",")
            control_id = self.integer("a control id")
            self.expect_punct(",")
            class_token = self.next("a window class")
            if class_token.kind == "string" and class_token.value:
                class_name = class_token.value
            elif class_token.kind == "ident" and class_token.value.upper() in rc_binary.CLASS_ATOMS:
                class_name = class_token.value
            else:
                raise ResourceError(class_token.where, "a window class name in quotes expected")
            self.expect_punct(",")
            style = self.style(base)
            rect = self.rectangle()
            ex_style = self.style(0) if self.accept_punct(",") else 0
            return rc_binary.DialogControl(class_name, text, control_id, *rect, style, ex_style, where)
        if kind not in CONTROL_KINDS:
            raise ResourceError(word.where, f"unknown control statement {word.value}")
        class_name, defaults, has_text = CONTROL_KINDS[kind]
        text = ""
        if has_text:
            text = self.control_text()
            self.expect_punct(",")
        control_id = self.integer("a control id")
        rect = self.rectangle()
        style = base | self.named_constant(defaults, where)
        ex_style = 0
        if self.accept_punct(","):
            style = self.style(style)
            if self.accept_punct(","):
                ex_style = self.style(0)
        return rc_binary.DialogControl(class_name, text, control_id, *rect, style, ex_style, where)

    def control_text(self):
        t = self.peek()
        if t is not None and t.kind == "number":
            return self.integer()
        return self.string("the control's text")

    def rectangle(self):
        values = []
        for what in ("x", "y", "width", "height"):
            self.expect_punct(",")
            values.append(self.integer(what))
        return values

    # -- pictures --------------------------------------------------------------------------

    def with_body_source(self, body):
        """A picture is given inline between BEGIN and END, or as the name of a file holding
        the same statements."""
        t = self.peek()
        if t is not None and t.kind == "string":
            self.pos += 1
            path = self.reader.resolve(t.value, t.where[0], t.where)
            nested = Parser(tokenize(self.reader.read_text(path, t.where), path), self.constants, self.reader, path)
            nested.palettes = self.palettes
            result = body(nested, None)
            if nested.peek() is not None:
                raise ResourceError(nested.where(), f"unexpected {nested.peek().value!r}")
            return result
        self.begin()
        return body(self, lambda: self.at_end_of_block())

    def palette_block(self):
        palette = rc_pixmaps.Palette()
        self.begin()
        while not self.at_end_of_block():
            key_token = self.next("a palette key")
            if key_token.kind != "string":
                raise ResourceError(key_token.where, "a palette key in quotes expected")
            if self.accept_word("TRANSPARENT"):
                palette.add(key_token.value, rc_pixmaps.TRANSPARENT, key_token.where)
            else:
                color_token = self.next("a colour")
                if color_token.kind != "string":
                    raise ResourceError(color_token.where, 'a colour "#RRGGBB" or TRANSPARENT expected')
                palette.add(key_token.value, rc_pixmaps.parse_color(color_token.value, color_token.where), key_token.where)
        return palette

    def palette_use(self):
        t = self.peek()
        if t is not None and t.kind == "ident" and not t.is_word("BEGIN"):
            self.pos += 1
            if t.value.upper() not in self.palettes:
                raise ResourceError(t.where, f"unknown palette {t.value}")
            return self.palettes[t.value.upper()]
        return self.palette_block()

    def rows(self):
        self.begin()
        rows = []
        while not self.at_end_of_block():
            t = self.next("a row")
            if t.kind != "string":
                raise ResourceError(t.where, "a pixel row in quotes expected")
            rows.append(t.value)
        return rows

    @staticmethod
    def _body_done(parser, at_end):
        return parser.peek() is None if at_end is None else at_end()

    @staticmethod
    def icon_body(parser, at_end):
        palette = None
        images = {}
        while not Parser._body_done(parser, at_end):
            where = parser.where()
            word = parser.expect_word("PALETTE", "IMAGE")
            if word == "PALETTE":
                palette = parser.palette_use()
                continue
            size = parser.integer("an image size")
            if not 1 <= size <= 256:
                raise ResourceError(where, f"icon size {size} is out of range 1..256")
            if size in images:
                raise ResourceError(where, f"icon image {size} given twice")
            if parser.accept_word("FROM"):
                source = parser.integer("the size of the image to enlarge")
                if source not in images or size % source:
                    raise ResourceError(where, f"IMAGE {size} FROM {source} needs an earlier image whose size divides {size}")
                images[size] = images[source].scaled(size // source)
                continue
            if palette is None:
                raise ResourceError(where, "PALETTE must come before the first IMAGE")
            pixel_map = rc_pixmaps.PixelMap(parser.rows(), palette, where, allow_transparent=True)
            if pixel_map.width != size or pixel_map.height != size:
                raise ResourceError(where, f"IMAGE {size} holds {pixel_map.width}x{pixel_map.height} pixels")
            images[size] = pixel_map
        if not images:
            raise ResourceError(parser.where(), "an icon needs at least one IMAGE")
        return images

    @staticmethod
    def bitmap_body(parser, at_end):
        palette = None
        bits = None
        pixel_map = None
        while not Parser._body_done(parser, at_end):
            where = parser.where()
            word = parser.expect_word("PALETTE", "BITS", "PIXELS")
            if word == "PALETTE":
                palette = parser.palette_use()
            elif word == "BITS":
                bits = parser.integer("a bit depth")
            else:
                if palette is None:
                    raise ResourceError(where, "PALETTE must come before PIXELS")
                if pixel_map is not None:
                    raise ResourceError(where, "a bitmap has one PIXELS block")
                pixel_map = (rc_pixmaps.PixelMap(parser.rows(), palette, where, allow_transparent=False), where)
        if pixel_map is None:
            raise ResourceError(parser.where(), "a bitmap needs PIXELS")
        return rc_pixmaps.packed_bitmap(pixel_map[0], bits, pixel_map[1])

    def icon(self, name, where):
        images = self.with_body_source(Parser.icon_body)
        entries = []
        for size in sorted(images):
            bits, data = rc_pixmaps.icon_image(images[size])
            icon_id = self.next_icon_id
            self.next_icon_id += 1
            self.resources.append(Resource(RT_ICON, icon_id, data, where))
            entries.append((size, size, bits, len(data), icon_id))
        self.add(RT_GROUP_ICON, name, rc_binary.icon_group(entries), where)
