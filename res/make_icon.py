#!/usr/bin/env python3
"""Draws the program icon, a security key on a blue field, and writes it as
an .ico with one 75 x 67 image at 24 bits per pixel: make_icon.py OUT.ico"""
import struct
import sys

WIDTH, HEIGHT = 75, 67


def colour(x, y):
    # y counts from the top here.
    field = (0x8A, 0x4A, 0x12)  # BGR: a dark blue
    body = (0xE8, 0xE8, 0xE8)
    metal = (0x30, 0xB0, 0xE0)
    # key body: a rounded bar across the middle
    if 14 <= x <= 52 and 22 <= y <= 44 and not ((x in (14, 52)) and (y in (22, 44))):
        if 20 <= x <= 26 and 28 <= y <= 38:
            return (0x20, 0x20, 0xC0)  # the key's red light
        return body
    # the USB plug to its right
    if 53 <= x <= 66 and 26 <= y <= 40:
        if 57 <= x <= 63 and (29 <= y <= 31 or 35 <= y <= 37):
            return (0x40, 0x40, 0x40)
        return metal
    return field


def main():
    row_size = (WIDTH * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(WIDTH):
            row += bytes(colour(x, y))
        row += b"\0" * (row_size - len(row))
        pixels += row
    mask_row = (WIDTH + 31) // 32 * 4
    mask = b"\0" * (mask_row * HEIGHT)  # every pixel opaque
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT * 2, 1, 24, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + bytes(pixels) + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", WIDTH, HEIGHT, 0, 0, 1, 24, len(image), 22)
    with open(sys.argv[1], "wb") as f:
        f.write(directory + image)


if __name__ == "__main__":
    main()
