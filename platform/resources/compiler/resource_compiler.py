#!/usr/bin/env python3
"""Compiles a module's resource source into C++ that registers the resources under the
module's handle. Usage:

    resource_compiler.py SOURCE -o OUTPUT.cpp [--depfile FILE] [-I DIR]... [--headers DIR]

--headers names the folder of the platform's window headers; their #define constants
(WS_CHILD, BS_AUTOCHECKBOX, IDOK ...) can be used in the source. The format is described in
the README.md beside this folder."""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from rc_constants import Constants  # noqa: E402
from rc_emit import emit  # noqa: E402
from rc_lexer import ResourceError, tokenize  # noqa: E402
from rc_parser import Parser, SourceReader, preprocess  # noqa: E402

# The headers whose constants resource source may use.
WINDOW_HEADERS = ("user.h", "commctrl.h", "richedit.h")


def compile_source(source, include_dirs, headers_dir):
    reader = SourceReader(include_dirs)
    constants = Constants()
    if headers_dir:
        for name in WINDOW_HEADERS:
            path = os.path.abspath(os.path.join(headers_dir, name))
            if os.path.isfile(path):
                constants.load_header_text(reader.read_text(path, None), path)
    source = os.path.abspath(source)
    tokens = tokenize(reader.read_text(source, None), source)
    tokens = preprocess(tokens, constants, reader, source)
    resources = Parser(tokens, constants, reader, source).parse()
    return resources, reader.files_read


def _depfile_path(path):
    return path.replace("\\", "\\\\").replace(" ", "\\ ").replace("#", "\\#").replace("$", "$$")


def main(argv):
    ap = argparse.ArgumentParser(description="Compile resource source into C++.")
    ap.add_argument("source")
    ap.add_argument("-o", "--output", required=True)
    ap.add_argument("--depfile")
    ap.add_argument("-I", "--include", action="append", default=[])
    ap.add_argument("--headers")
    args = ap.parse_args(argv)
    try:
        resources, files = compile_source(args.source, args.include, args.headers)
    except ResourceError as e:
        print(str(e), file=sys.stderr)
        return 1
    except OSError as e:
        print(f"{args.source}: error: {e}", file=sys.stderr)
        return 1
    text = emit(resources, os.path.basename(args.source))
    temporary = args.output + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(temporary, args.output)
    if args.depfile:
        with open(args.depfile, "w", encoding="utf-8") as f:
            f.write(_depfile_path(args.output) + ": " + " ".join(_depfile_path(p) for p in files) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
