"""Tokens of resource source: strings, numbers, identifiers, punctuation and preprocessor lines."""

import re


class ResourceError(Exception):
    """A fault in resource source, reported as file:line: error: message."""

    def __init__(self, where, message):
        super().__init__(message)
        self.where = where
        self.message = message

    def __str__(self):
        if self.where is None:
            return f"error: {self.message}"
        return f"{self.where[0]}:{self.where[1]}: error: {self.message}"


class Token:
    __slots__ = ("kind", "value", "where")

    def __init__(self, kind, value, where):
        self.kind = kind  # "string", "number", "ident", "punct", "define", "include"
        self.value = value
        self.where = where

    def is_word(self, *words):
        return self.kind == "ident" and self.value.upper() in words

    def __repr__(self):
        return f"Token({self.kind}, {self.value!r})"


_NUMBER = re.compile(r"(0[xX][0-9A-Fa-f]+|[0-9]+)[uUlL]*")
_IDENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")
_PUNCT = ",|()-+~{}="
_SIMPLE_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "0": "\0", "\\": "\\", '"': '"', "'": "'"}


def _decode_string(text, pos, where):
    """Reads a string literal starting after its opening quote; returns (value, new position).

    A doubled quote stands for one quote, as in .rc files; C escapes are accepted too, with
    \\uXXXX and \\UXXXXXXXX for any Unicode character."""
    out = []
    while True:
        if pos >= len(text) or text[pos] == "\n":
            raise ResourceError(where, "unterminated string")
        c = text[pos]
        if c == '"':
            if pos + 1 < len(text) and text[pos + 1] == '"':
                out.append('"')
                pos += 2
                continue
            return "".join(out), pos + 1
        if c == "\\":
            if pos + 1 >= len(text):
                raise ResourceError(where, "unterminated string")
            e = text[pos + 1]
            if e in _SIMPLE_ESCAPES:
                out.append(_SIMPLE_ESCAPES[e])
                pos += 2
                continue
            digits = {"x": 2, "u": 4, "U": 8}.get(e)
            if digits is None:
                raise ResourceError(where, f"unknown escape \\{e}")
            hexpart = text[pos + 2:pos + 2 + digits]
            if len(hexpart) != digits or not re.fullmatch(r"[0-9A-Fa-f]+", hexpart):
                raise ResourceError(where, f"escape \\{e} needs {digits} hexadecimal digits")
            code = int(hexpart, 16)
            if code > 0x10FFFF or 0xD800 <= code <= 0xDFFF:
                raise ResourceError(where, f"escape \\{e}{hexpart} is no Unicode character")
            out.append(chr(code))
            pos += 2 + digits
            continue
        out.append(c)
        pos += 1


def tokenize(text, filename):
    """Splits source text into tokens. Preprocessor lines become single tokens; conditional
    directives (#if, #ifndef, #endif ...) and #pragma are ignored, so include guards work."""
    tokens = []
    pos = 0
    line = 1
    at_line_start = True
    while pos < len(text):
        c = text[pos]
        if c == "\n":
            line += 1
            pos += 1
            at_line_start = True
            continue
        if c in " \t\r\f\v\ufeff":
            pos += 1
            continue
        where = (filename, line)
        if text.startswith("//", pos):
            end = text.find("\n", pos)
            pos = len(text) if end < 0 else end
            continue
        if text.startswith("/*", pos):
            end = text.find("*/", pos + 2)
            if end < 0:
                raise ResourceError(where, "unterminated comment")
            line += text.count("\n", pos, end)
            pos = end + 2
            continue
        if c == "#" and at_line_start:
            end = text.find("\n", pos)
            end = len(text) if end < 0 else end
            directive = text[pos + 1:end].strip()
            # A line-continued #define is joined with its next lines.
            while directive.endswith("\\") and end < len(text):
                nxt = text.find("\n", end + 1)
                nxt = len(text) if nxt < 0 else nxt
                directive = directive[:-1] + " " + text[end + 1:nxt].strip()
                line += 1
                end = nxt
            _directive_token(directive, where, tokens)
            pos = end
            continue
        at_line_start = False
        if c == '"' or (c in "Ll" and text.startswith('"', pos + 1)):
            start = pos + (2 if c != '"' else 1)
            value, pos = _decode_string(text, start, where)
            tokens.append(Token("string", value, where))
            continue
        m = _NUMBER.match(text, pos)
        if m:
            literal = m.group(1)
            tokens.append(Token("number", int(literal, 0) if literal.lower().startswith("0x") else int(literal, 10), where))
            pos = m.end()
            if pos < len(text) and (text[pos].isalnum() or text[pos] == "_"):
                raise ResourceError(where, f"malformed number near '{text[m.start():pos + 1]}'")
            continue
        m = _IDENT.match(text, pos)
        if m:
            tokens.append(Token("ident", m.group(0), where))
            pos = m.end()
            continue
        if c in _PUNCT:
            tokens.append(Token("punct", c, where))
            pos += 1
            continue
        raise ResourceError(where, f"unexpected character {c!r}")
    return tokens


def _directive_token(directive, where, tokens):
    m = re.match(r"(\w+)\s*(.*)", directive)
    if not m:
        return
    name, rest = m.group(1), m.group(2).strip()
    if name == "define":
        dm = re.match(r"([A-Za-z_]\w*)(\(.*)?\s*(.*)", rest)
        if dm and dm.group(2) is None:
            tokens.append(Token("define", (dm.group(1), dm.group(3).strip()), where))
    elif name == "include":
        im = re.match(r'["<]([^">]+)[">]', rest)
        if not im:
            raise ResourceError(where, "#include needs a file name")
        tokens.append(Token("include", im.group(1), where))
