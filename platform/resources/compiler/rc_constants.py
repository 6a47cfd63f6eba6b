"""Named constants of resource source: #define lines of the source, of the headers it includes
and of the platform's window headers, and the integer expressions that use them."""

import re

from rc_lexer import ResourceError, tokenize

# A C cast such as (DWORD) or (LONG_PTR) in front of an operand carries no value for us.
_CAST = re.compile(r"\(\s*[A-Za-z_]\w*\s*\*?\s*\)(?=\s*[\w(~-])")


class Constants:
    def __init__(self):
        self._text = {}   # name -> (value text, where)
        self._values = {}  # name -> int, or None when not an integer constant

    def define(self, name, text, where):
        self._text[name] = (text, where)
        self._values.pop(name, None)

    def load_header_text(self, text, filename):
        """Takes every object-like #define of a header; other lines are ignored."""
        for line_no, line in enumerate(_join_continuations(_strip_comments(text)), 1):
            m = re.match(r"\s*#\s*define\s+([A-Za-z_]\w*)(?!\()\s*(.*)$", line)
            if m:
                self.define(m.group(1), m.group(2).strip(), (filename, line_no))

    def value(self, name, where=None, _active=None):
        """The integer value of a name, or None when it is not an integer constant."""
        if name in self._values:
            return self._values[name]
        if name not in self._text:
            return None
        active = _active or set()
        if name in active:
            return None  # self-referential definition
        active.add(name)
        text, _ = self._text[name]
        result = None
        try:
            tokens = tokenize(_CAST.sub(" ", text), "<define>")
            if tokens:
                parser = ExpressionParser(tokens, self, active)
                result = parser.expression()
                if not parser.at_end():
                    result = None
        except ResourceError:
            result = None
        active.discard(name)
        self._values[name] = result
        return result

    def is_defined(self, name):
        return name in self._text


class ExpressionParser:
    """expr := term { ('|' | '+' | '-') term }; term := ['-' | '~'] primary;
    primary := number | name | '(' expr ')'. Unknown names make the whole expression unknown
    (None) inside header definitions; in resource source they are reported by the caller."""

    def __init__(self, tokens, constants, active=None, pos=0):
        self.tokens = tokens
        self.pos = pos
        self.constants = constants
        self.active = active

    def at_end(self):
        return self.pos >= len(self.tokens)

    def peek(self):
        return self.tokens[self.pos] if self.pos < len(self.tokens) else None

    def expression(self):
        value = self.term()
        while True:
            t = self.peek()
            if t is None or t.kind != "punct" or t.value not in "|+-":
                return value
            self.pos += 1
            rhs = self.term()
            if value is None or rhs is None:
                value = None
            elif t.value == "|":
                value |= rhs
            elif t.value == "+":
                value += rhs
            else:
                value -= rhs

    def term(self):
        t = self.peek()
        if t is not None and t.kind == "punct" and t.value in "-~":
            self.pos += 1
            v = self.term()
            if v is None:
                return None
            return -v if t.value == "-" else ~v
        return self.primary()

    def primary(self):
        t = self.peek()
        if t is None:
            raise ResourceError(None, "expression expected")
        self.pos += 1
        if t.kind == "number":
            return t.value
        if t.kind == "ident":
            return self.constants.value(t.value, t.where, self.active)
        if t.kind == "punct" and t.value == "(":
            v = self.expression()
            close = self.peek()
            if close is None or close.value != ")":
                raise ResourceError(t.where, "')' expected")
            self.pos += 1
            return v
        raise ResourceError(t.where, f"unexpected {t.value!r} in expression")


def _strip_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def _join_continuations(text):
    lines = text.split("\n")
    out = []
    carry = ""
    for line in lines:
        if line.endswith("\\"):
            carry += line[:-1] + " "
            out.append("")
            continue
        out.append(carry + line)
        carry = ""
    return out
