#!/usr/bin/env python3
"""Makes a machine folder of a given registry size: the demo machine, with filler keys
shaped like a `reg export` of HKLM\\SYSTEM on a used laptop added to its registry.reg.

    bench/make_machine.py KEYS DIR [--big-value] [--devices N]

The filler is services (with Parameters, Enum and Security subkeys) and device
instances (with Device Parameters and Properties subkeys) under ControlSet001, and one
device instance in a hundred under CurrentControlSet\\Enum, where the program's device
lookups walk. Values carry what real exports carry: REG_EXPAND_SZ and REG_MULTI_SZ as
hex(2)/hex(7), security descriptors as binary, property values as hex(ffff00NN). At
100,000 keys the file is about the 117 MB of such an export. With --big-value, a key
holding one 10 MB binary value is added. With --devices N, N device instances (five
keys each) are added under CurrentControlSet\\Enum, spread over ten setup classes and
their enumerators (ACPI, HID, USB, SCSI, PCI, DISPLAY, BTHENUM, SWD, STORAGE), the
network class among them with instances that are not plugged in.
"""
import os
import shutil
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEMO = os.path.join(ROOT, "examples", "demo-machine")
HKLM = "HKEY_LOCAL_MACHINE\\SYSTEM"


def hex_list(data, prefix_length):
    """The bytes as regedit writes them: continued lines before 80 columns."""
    out, column = [], prefix_length
    for i, byte in enumerate(data):
        last = i + 1 == len(data)
        piece = f"{byte:02x}" + ("" if last else ",")
        if column + len(piece) > 77 and not last:
            out.append("\\\r\n  ")
            column = 2
        out.append(piece)
        column += len(piece)
    return "".join(out)


def hex_value(name, kind, data):
    line = (f'"{name}"=' if name else "@=") + ("hex:" if kind == 3 else f"hex({kind:x}):")
    return line + hex_list(data, len(line))


def text_bytes(*texts):
    return b"".join(t.encode("utf-16-le") + b"\0\0" for t in texts)


def guid(n):
    return f"{{{n:08x}-{n % 65536:04x}-4{n % 4096:03x}-8{n % 4096:03x}-{n:012x}}}"


def service(i):
    key = f"{HKLM}\\ControlSet001\\Services\\FillerSvc{i:06d}"
    security = bytes([1, 0, 0x14, 0x80]) + bytes((i * 7 + k) % 256 for k in range(760))
    return [
        (key, [
            '"Type"=dword:00000001',
            '"Start"=dword:00000003',
            '"ErrorControl"=dword:00000001',
            hex_value("ImagePath", 2, text_bytes(f"\\SystemRoot\\System32\\drivers\\filler{i}.sys")),
            f'"DisplayName"="@oem{i % 200}.inf,%FillerSvc{i}.SvcDesc%;Filler service {i}"',
            '"Group"="Extended Base"',
            hex_value("Owners", 7, text_bytes(f"oem{i % 200}.inf", "")),
        ]),
        (key + "\\Parameters", ['"BusType"=dword:00000005', '"ServiceDll"="filler.dll"']),
        (key + "\\Parameters\\Wdf", ['"KmdfLibraryVersion"="1.15"',
                                     '"WdfMajorVersion"=dword:00000001',
                                     '"WdfMinorVersion"=dword:0000000f']),
        (key + "\\Enum", [f'"0"="PCI\\\\VEN_8086&DEV_{i % 65536:04X}\\\\3&11583659&0&{i % 256:02X}"',
                          '"Count"=dword:00000001', '"NextInstance"=dword:00000001']),
        (key + "\\Security", [hex_value("Security", 3, security)]),
    ]


# Setup classes and the enumerators their devices sit under, as on a used laptop:
# (class GUID, enumerator, vendor part of the device ID).
CLASSES = [
    ("{4d36e97d-e325-11ce-bfc1-08002be10318}", "ACPI", "PNP0C0A"),      # System
    ("{745a17a0-74d3-11d0-b6fe-00a0c90f57da}", "HID", "VID_046D"),      # HIDClass
    ("{36fc9e60-c465-11cf-8056-444553540000}", "USB", "VID_8087"),      # USB
    ("{4d36e967-e325-11ce-bfc1-08002be10318}", "SCSI", "Disk&Ven_NVMe"),  # DiskDrive
    ("{4d36e968-e325-11ce-bfc1-08002be10318}", "PCI", "VEN_8086"),      # Display
    ("{4d36e96e-e325-11ce-bfc1-08002be10318}", "DISPLAY", "LEN40B0"),   # Monitor
    ("{e0cbf06c-cd8b-4647-bb8a-263b43f0f974}", "BTHENUM", "Dev_A4C3"),  # Bluetooth
    ("{62f9c741-b25a-46ce-b54c-9bccce08b6f2}", "SWD", "MMDEVAPI"),      # SoftwareDevice
    ("{71a27cdd-812a-11d0-bec7-08002be2092f}", "STORAGE", "Volume"),    # Volume
    # Net: virtual adapters (Wi-Fi Direct, VPN) that come and go and are not present
    ("{4d36e972-e325-11ce-bfc1-08002be10318}", "SWD", "MSRRAS"),
]


def device(i, control_set):
    class_guid, enumerator, vendor = CLASSES[i % len(CLASSES)]
    hardware = f"{enumerator}\\{vendor}&DEV_{i % 65536:04X}&SUBSYS_{i:08X}"
    key = (f"{HKLM}\\{control_set}\\Enum\\{enumerator}\\{vendor}&DEV_{i % 4096:04X}"
           f"\\{i % 7}&{i:08x}&0&00E4")
    ids = [hardware, hardware[:-16], f"{enumerator}\\CC_0200"]
    return [
        (key, [
            f'"DeviceDesc"="@oem{i % 200}.inf,%filler.devicedesc%;Filler device {i}"',
            hex_value("HardwareID", 7, text_bytes(*ids, "")),
            hex_value("CompatibleIDs", 7, text_bytes(*ids[1:], "")),
            f'"ContainerID"="{guid(i)}"',
            '"ConfigFlags"=dword:00000000',
            f'"ClassGUID"="{class_guid}"',
            f'"Driver"="{class_guid}\\\\{i % 10000:04d}"',
            '"Mfg"="@oem12.inf,%filler%;Filler Corporation"',
            '"Capabilities"=dword:000000f0',
            f'"LocationInformation"="bus {i % 256}, device {i % 32}, function 0"',
            hex_value("LowerFilters", 7, text_bytes("FillerLowerFilter", "FillerPowerFilter", "")),
        ]),
        (key + "\\Device Parameters", ['"InterruptManagement"=dword:00000000']),
        (key + "\\Properties", []),
        (key + "\\Properties\\{83da6326-97a6-4088-9453-a1923f573b29}", []),
        (key + "\\Properties\\{83da6326-97a6-4088-9453-a1923f573b29}\\0003",
         [hex_value("", 0xffff0012, text_bytes(f"oem{i % 200}.inf:filler:{i}"))]),
    ]


def filler(keys, devices=0):
    """Services and device instances under ControlSet001 (one device in a hundred also
    under CurrentControlSet\\Enum), then `devices` instances under CurrentControlSet\\Enum,
    where the program's device lookups look, spread over the classes above."""
    i = 0
    made = 0
    while made < keys:
        units = service(i) if i % 2 == 0 else device(i, "ControlSet001")
        if i % 200 == 1:
            units += device(i, "CurrentControlSet")
        for key, values in units:
            if made >= keys:
                break
            made += 1
            yield key, values
        i += 1
    for n in range(devices):
        yield from device(1000000 + n, "CurrentControlSet")


def make(keys, directory, big_value=False, devices=0):
    if os.path.exists(directory):
        shutil.rmtree(directory)
    shutil.copytree(DEMO, directory)
    path = os.path.join(directory, "registry.reg")
    with open(path, "rb") as file:
        demo = file.read()[2:].decode("utf-16-le").rstrip("\r\n") + "\r\n\r\n"
    with open(path, "wb") as file:
        file.write(b"\xff\xfe" + demo.encode("utf-16-le"))
        chunk = []
        for key, values in filler(keys, devices):
            chunk.append(f"[{key}]\r\n" + "".join(v + "\r\n" for v in values) + "\r\n")
            if len(chunk) >= 2000:
                file.write("".join(chunk).encode("utf-16-le"))
                chunk = []
        file.write("".join(chunk).encode("utf-16-le"))
        if big_value:
            line = hex_value("Big", 3, bytes(i % 251 for i in range(10 << 20)))
            file.write(f"[{HKLM}\\BigValue]\r\n{line}\r\n\r\n".encode("utf-16-le"))
    return os.path.getsize(path)


def main(argv):
    args = argv[1:]
    big_value = "--big-value" in args
    devices = 0
    if "--devices" in args:
        at = args.index("--devices")
        devices = int(args[at + 1]) if at + 1 < len(args) else -1
        del args[at:at + 2]
    args = [a for a in args if a != "--big-value"]
    if len(args) != 2 or devices < 0:
        print(__doc__, file=sys.stderr)
        return 2
    size = make(int(args[0]), args[1], big_value=big_value, devices=devices)
    print(f"{args[1]}: {args[0]} filler keys, {devices} device instances, "
          f"registry.reg {size / 1048576:.1f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
