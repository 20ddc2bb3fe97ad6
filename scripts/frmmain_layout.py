"""Where frmMain's controls are, in pixels of its client area, worked out as
ui/frmmain.cpp lays the window out: in twips, 15 to a pixel, each control
placed in its frame."""

from dataclasses import dataclass


def px(twips):
    return (twips + 7) // 15


# Left, top, width, height in twips, as ui/frmmain.cpp gives them; a control
# names the frame it sits in.
FRAMES = {
    "fmeSerial": (120, 120, 4935, 1215),
    "fmeParams": (120, 1440, 4935, 6255),
}
CONTROLS = {
    "optCom(0)": ("fmeSerial", (240, 360, 855, 195)),
    "optCom(1)": ("fmeSerial", (240, 720, 855, 195)),
    "btnConnect": ("fmeSerial", (3720, 240, 975, 375)),
    "txtVersion": ("fmeSerial", (3720, 720, 975, 375)),
    "btnSet": ("fmeParams", (360, 5760, 1215, 375)),
    "btnGet": ("fmeParams", (1920, 5760, 1215, 375)),
    "btnShutter": ("fmeParams", (3480, 5760, 1215, 375)),
}
# The spinners' left edges and widths, row by row; row i's top is 360 + 480 i.
SPINNER_COLUMNS = [(3000, 240)] + [(3016, 240)] * 7 + [(3015, 255)] * 3
for row, (left, width) in enumerate(SPINNER_COLUMNS):
    CONTROLS[f"udParam({row})"] = ("fmeParams", (left, 360 + 480 * row, width, 420))
    CONTROLS[f"txtParam({row})"] = ("fmeParams", (2400, 360 + 480 * row, 615, 420))


@dataclass(frozen=True)
class Rect:
    x: int
    y: int
    width: int
    height: int

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2

    def geometry(self):
        """As ImageMagick's -crop takes it."""
        return f"{self.width}x{self.height}+{self.x}+{self.y}"


def rect(name):
    """CONTROL's rectangle in the window: each geometry is rounded to pixels
    on its own, the frame's and the control's, as the window does."""
    frame, (left, top, width, height) = CONTROLS[name]
    frame_left, frame_top = (px(v) for v in FRAMES[frame][:2])
    return Rect(frame_left + px(left), frame_top + px(top), px(width), px(height))


def option_indicator(name):
    """An option button's round indicator, at its left, as wide as it is high."""
    r = rect(name)
    return r.x + r.height // 2, r.y + r.height // 2


def spinner_up(row):
    """The upper half of a row's spinner, which steps it up."""
    r = rect(f"udParam({row})")
    return r.x + r.width // 2, r.y + r.height // 4
