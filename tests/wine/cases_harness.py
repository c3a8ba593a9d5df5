"""The tier's own tools: what regedit imports is what regdump reads back."""

from winetier import case


@case("harness: a .reg import reads back byte for byte through regdump")
def reg_round_trip(m):
    key = "SOFTWARE\\Zelvaro\\TierCheck"
    m.import_reg(f"""[HKEY_LOCAL_MACHINE\\{key}]
@="default"
"Text"="Disabled"
"Empty"=""
"Number"=dword:0000001a
"Blob"=hex:01,ff,00
"List"=hex(7):41,00,00,00,42,00,00,00,00,00

[HKEY_LOCAL_MACHINE\\{key}\\Sub Key]
"Unicode"="\u65e5\u672c"
""")
    sub = key + "\\Sub Key"
    # Wine keeps a key's values sorted by name (Windows keeps them in the order they
    # were written); regdump shows Wine's enumeration order.
    m.expect_eq([(v.path, v.name, v.type, v.data) for v in m.regdump(key) or []], [
        (key, "", 1, "default\0".encode("utf-16-le")),
        (key, "Blob", 3, bytes([1, 0xff, 0])),
        (key, "Empty", 1, b"\0\0"),
        (key, "List", 7, "A\0B\0\0".encode("utf-16-le")),
        (key, "Number", 4, bytes([0x1a, 0, 0, 0])),
        (key, "Text", 1, "Disabled\0".encode("utf-16-le")),
        (sub, "Unicode", 1, "\u65e5\u672c\0".encode("utf-16-le")),
    ], "values read back")
    m.expect_eq(m.reg_value(key, "number"), (4, bytes([0x1a, 0, 0, 0])), "one value")
    m.expect_eq(m.regdump(key + "\\Missing"), None, "a missing key")
