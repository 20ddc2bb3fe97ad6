"""What a Windows shortcut (.lnk) starts: its target's path, as the shell
stores it, and its arguments."""

import struct
from dataclasses import dataclass

HAS_ID_LIST, HAS_LINK_INFO, IS_UNICODE = 0x01, 0x02, 0x80
# The strings that follow, in their order, each present when its flag is set.
STRINGS = (("name", 0x04), ("relative_path", 0x08), ("working_dir", 0x10),
           ("arguments", 0x20), ("icon_location", 0x40))


@dataclass
class ShellLink:
    target: str = ""
    name: str = ""
    relative_path: str = ""
    working_dir: str = ""
    arguments: str = ""
    icon_location: str = ""


def c_string(data, offset):
    return data[offset:data.index(b"\0", offset)].decode("latin-1")


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    (header_size,) = struct.unpack_from("<I", data, 0)
    (flags,) = struct.unpack_from("<I", data, 20)
    link = ShellLink()
    at = header_size
    if flags & HAS_ID_LIST:
        (size,) = struct.unpack_from("<H", data, at)
        at += 2 + size
    if flags & HAS_LINK_INFO:
        size, _, info_flags, _, base_path = struct.unpack_from("<5I", data, at)
        if info_flags & 1:  # a local path
            link.target = c_string(data, at + base_path)
        at += size
    for field, flag in STRINGS:
        if flags & flag:
            (count,) = struct.unpack_from("<H", data, at)
            at += 2
            width = 2 if flags & IS_UNICODE else 1
            raw = data[at:at + count * width]
            # Wine counts the terminating NUL in; Windows does not.
            text = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
            setattr(link, field, text)
            at += count * width
    return link
