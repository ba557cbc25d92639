#!/usr/bin/env python3
"""Reads a COCO export back without Velmora: each annotation's compressed RLE is decoded
(pycocotools' rleFrString, written out here) and its area and box compared with what the
JSON says; with an object map (NAME_objects.png, read by PIL), each annotation is also
checked to lie on one object number.

    python3 scripts/read-coco.py export.json [FOLDER/NAME_objects.png]

Needs PIL (Debian: python3-pil). Exits with 1 when an annotation does not read back.
"""
import json
import sys

from PIL import Image


def decode(counts, height, width):
    runs, p = [], 0
    while p < len(counts):
        x, k, more = 0, 0, True
        while more:
            c = ord(counts[p]) - 48
            x |= (c & 0x1f) << (5 * k)
            more = bool(c & 0x20)
            p += 1
            k += 1
            if not more and (c & 0x10):
                x |= -1 << (5 * k)
        if len(runs) > 2:
            x += runs[-2]
        runs.append(x)
    flat = bytearray(height * width)
    at, inside = 0, False
    for run in runs:
        if inside:
            flat[at:at + run] = b'\x01' * run
        at += run
        inside = not inside
    if at != height * width:
        raise ValueError('runs cover %d pixels of %d' % (at, height * width))
    # Column by column: a column of the picture is a row here.
    return Image.frombytes('L', (height, width), bytes(flat)).transpose(Image.TRANSPOSE)


def main():
    coco = json.load(open(sys.argv[1], encoding='utf-8'))
    objects = Image.open(sys.argv[2]) if len(sys.argv) > 2 else None
    failed = 0
    for annotation in coco['annotations']:
        height, width = annotation['segmentation']['size']
        shape = decode(annotation['segmentation']['counts'], height, width)
        area = sum(1 for v in shape.getdata() if v)
        box = shape.getbbox()
        box = [box[0], box[1], box[2] - box[0], box[3] - box[1]] if box else [0, 0, 0, 0]
        under = set()
        if objects is not None and annotation['image_id'] == 1:
            numbers, pixels = objects.load(), shape.load()
            under = {numbers[x, y] for y in range(height) for x in range(width) if pixels[x, y]}
        ok = area == annotation['area'] and box == annotation['bbox']
        failed += not ok
        print('annotation %d: category %d, area %d (decoded %d), bbox %s%s%s' % (
            annotation['id'], annotation['category_id'], annotation['area'], area,
            annotation['bbox'], ', objects %s' % sorted(under) if under else '',
            '' if ok else '  DOES NOT READ BACK'))
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
