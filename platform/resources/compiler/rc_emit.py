"""The C++ source that carries a module's resources: one byte array per resource, the table
and its registration under the module's handle."""


def _wide_array(name, text):
    units = list(text.encode("utf-16-le"))
    words = [units[i] | (units[i + 1] << 8) for i in range(0, len(units), 2)] + [0]
    return f"const char16_t {name}[] = {{{', '.join(f'0x{w:04X}' for w in words)}}};\n"


def _byte_array(name, data):
    lines = []
    for i in range(0, len(data), 24):
        lines.append("    " + ",".join(f"0x{b:02X}" for b in data[i:i + 24]) + ",")
    body = "\n".join(lines) if data else "    0x00,"
    return f"alignas(8) const unsigned char {name}[] = {{\n{body}\n}};\n"


def emit(resources, source_name):
    out = [f"// Generated from {source_name} by the resource compiler; do not edit.\n",
           '#include "lumivel/resource_table.h"\n\n', "namespace {\n\n"]
    rows = []
    for index, r in enumerate(resources):
        out.append(_byte_array(f"kData{index}", r.data))
        type_name = name_name = "nullptr"
        type_id = name_id = 0
        if isinstance(r.rtype, str):
            type_name = f"kType{index}"
            out.append(_wide_array(type_name, r.rtype))
        else:
            type_id = r.rtype
        if isinstance(r.name, str):
            name_name = f"kName{index}"
            out.append(_wide_array(name_name, r.name))
        else:
            name_id = r.name
        size = len(r.data)
        rows.append(f"    {{{type_name}, {type_id}, {name_name}, {name_id}, kData{index}, {size}}},\n")
    if rows:
        out.append("\nconst lumivel::ResourceEntry kEntries[] = {\n" + "".join(rows) + "};\n")
        out.append("const lumivel::ResourceTable kTable = {lumivel::kResourceTableVersion, kEntries, "
                   f"{len(rows)}}};\n")
    else:
        out.append("\nconst lumivel::ResourceTable kTable = {lumivel::kResourceTableVersion, nullptr, 0};\n")
    out.append("const lumivel::ResourceTableRegistration kRegistration(&kTable);\n\n}  // namespace\n")
    return "".join(out)
