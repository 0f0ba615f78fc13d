#!/usr/bin/env python3
# Writes the pictures of jpeg/ and png/ that carry an EXIF orientation or a
# colour profile, profile.icc, and pixels/upright.bgr, the upright picture
# that the oriented ones show (see README.md, How they were made). Run from
# this folder; it calls ImageMagick's convert and jpegtran.
import os
import struct
import subprocess
import zlib

W, H = 104, 120  # multiples of 8, so that jpegtran turns whole blocks


def run(*command):
    return subprocess.run(command, capture_output=True, check=True).stdout


def write(name, data):
    with open(name, 'wb') as f:
        f.write(data)


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack('>H', len(payload) + 2) + payload


def chunk(name, data, crc=None):
    return struct.pack('>I', len(data)) + name + data + struct.pack('>I', zlib.crc32(name + data) if crc is None else crc)


def tiff(entries, big=True, mark=None, directory=8, count=None, following=0):
    """A TIFF header, then at `directory` one directory of (tag, type, count,
    value) entries, values held in the entry; `following` is the offset of
    the next directory."""
    e = '>' if big else '<'
    head = (mark or (b'MM' if big else b'II')) + struct.pack(e + 'HI', 42, directory)
    body = struct.pack(e + 'H', len(entries) if count is None else count)
    for tag, kind, n, value in entries:
        body += struct.pack(e + 'HHI', tag, kind, n) + (struct.pack(e + 'HH', value, 0) if kind == 3 else struct.pack(e + 'I', value))
    return head + body + struct.pack(e + 'I', following)


MAKE = (0x10F, 2, 4, 0x43616D00)  # "Cam"


def exif(value, big=True):
    return tiff([MAKE, (274, 3, 1, value)], big)


def with_segments(jpeg, *segments):
    return jpeg[:2] + b''.join(segments) + jpeg[2:]


def app1(payload):
    return segment(0xE1, b'Exif\0\0' + payload)


def png(rgb, width, height, *extra):
    """RGB rows, each filtered by its left neighbours (filter type 1)."""
    def sub(row):
        return b'\1' + bytes((row[i] - (row[i - 3] if i >= 3 else 0)) & 255 for i in range(len(row)))
    rows = b''.join(sub(rgb[y * width * 3:(y + 1) * width * 3]) for y in range(height))
    ihdr = chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
    return (b'\x89PNG\r\n\x1a\n' + ihdr + b''.join(extra) + chunk(b'IDAT', zlib.compress(rows, 9)) +
            chunk(b'IEND', b''))


def icc_profile():
    """A small RGB display profile: wide-gamut primaries, gamma 2.2."""
    def xyz(*v):
        return b'XYZ \0\0\0\0' + b''.join(struct.pack('>i', round(x * 65536)) for x in v)
    text = b'Glintor test RGB\0'
    tags = [(b'desc', b'desc\0\0\0\0' + struct.pack('>I', len(text)) + text + bytes(4 + 4 + 2 + 1 + 67)),
            (b'wtpt', xyz(0.9642, 1.0, 0.8249)), (b'rXYZ', xyz(0.5151, 0.2412, -0.0011)),
            (b'gXYZ', xyz(0.2920, 0.6922, 0.0419)), (b'bXYZ', xyz(0.1571, 0.0666, 0.7841)),
            (b'rTRC', b'curv\0\0\0\0\0\0\0\x01\x02\x33\0\0'), (b'cprt', b'text\0\0\0\0No copyright\0')]
    at = 128 + 4 + 12 * (len(tags) + 2)
    table, data, offsets = b'', b'', {}
    for name, body in tags:
        body += bytes(-len(body) % 4)
        offsets[name] = (at + len(data), len(body))
        table += name + struct.pack('>II', *offsets[name])
        data += body
    for name in (b'gTRC', b'bTRC'):  # the red curve's
        table += name + struct.pack('>II', *offsets[b'rTRC'])
    header = struct.pack('>I4sI4s4s4s', at + len(data), b'none', 0x02100000, b'mntr', b'RGB ', b'XYZ ')
    header += bytes(12) + b'acsp' + bytes(28) + struct.pack('>iii', 63190, 65536, 54061) + bytes(48)
    return header + struct.pack('>I', len(tags) + 2) + table + data


# The upright picture: no side like another, no corner like another.
run('convert', '-size', f'{W}x{H}', 'xc:black', '-channel', 'R', '-fx', 'i/w', '-channel', 'G', '-fx', 'j/h',
    '-channel', 'B', '-fx', '0.5+0.5*sin(i/9)*cos(j/7)', '+channel', '-strip', '-quality', '90',
    '-sampling-factor', '1x1', 'upright.jpg')
write('pixels/upright.bgr', run('convert', 'upright.jpg', '-flip', '-depth', '8', 'bgr:-'))
rgb = run('convert', 'upright.jpg', '-depth', '8', 'rgb:-')

# Each stored turned back from upright, so that its orientation makes it
# upright again: by jpegtran for the JPEGs (whole blocks, no new loss) and
# convert for the PNGs. Big-endian EXIF for odd values, little for even.
undo = {1: ([], []), 2: (['-flip', 'horizontal'], ['-flop']), 3: (['-rotate', '180'], ['-rotate', '180']),
        4: (['-flip', 'vertical'], ['-flip']), 5: (['-transpose'], ['-transpose']),
        6: (['-rotate', '270'], ['-rotate', '270']), 7: (['-transverse'], ['-transverse']),
        8: (['-rotate', '90'], ['-rotate', '90'])}
for value, (jpegtran, convert) in undo.items():
    stored = run('jpegtran', '-perfect', '-copy', 'none', *jpegtran, 'upright.jpg')
    write(f'jpeg/orientation-{value}.jpg', with_segments(stored, app1(exif(value, value % 2 == 1))))
    w, h = (H, W) if value >= 5 else (W, H)
    stored_rgb = subprocess.run(['convert', '-size', f'{W}x{H}', '-depth', '8', 'rgb:-', *convert, '-depth', '8', 'rgb:-'],
                                input=rgb, capture_output=True, check=True).stdout
    write(f'png/orientation-{value}.png', png(stored_rgb, w, h, chunk(b'eXIf', exif(value, value % 2 == 0))))

# EXIF that must not turn anything, each with a 6 a careless reader would
# take.
plain = run('jpegtran', '-copy', 'none', 'upright.jpg')
sideways = (274, 3, 1, 6)
hostile = {
    'directory-past-end': tiff([sideways], directory=0xFFFFFFF0),
    'entries-past-end': tiff([sideways], count=0xFFFF),
    'count-4294967295': tiff([(274, 3, 0xFFFFFFFF, 6)]),
    'byte-order-IM': tiff([sideways], big=False, mark=b'IM'),
    'orientation-9': tiff([(274, 3, 1, 9)]),
    # The first directory lacks it; the next has it and leads back to the first.
    'directory-loop': tiff([MAKE], following=26) + tiff([sideways], following=8)[8:],
}
for name, payload in hostile.items():
    write(f'jpeg/exif-{name}.jpg', with_segments(plain, app1(payload)))
write('png/exif-checksum-wrong.png', png(rgb, W, H, chunk(b'eXIf', exif(6), crc=0)))

# Profiles: a JPEG's in three chunks, stored out of order; with one missing
# or one twice, none. A PNG's in iCCP, or an sRGB chunk; one that inflates
# past 4 MB, none.
icc = icc_profile()
write('profile.icc', icc)
third = -(-len(icc) // 3)
parts = [segment(0xE2, b'ICC_PROFILE\0' + bytes([n + 1, 3]) + icc[n * third:(n + 1) * third]) for n in range(3)]
write('jpeg/profile-3-chunks.jpg', with_segments(plain, parts[1], parts[2], parts[0]))
write('jpeg/profile-chunk-missing.jpg', with_segments(plain, parts[0], parts[2]))
write('jpeg/profile-chunk-twice.jpg', with_segments(plain, parts[0], parts[1], parts[1], parts[2]))
write('png/profile-iccp.png', png(rgb, W, H, chunk(b'iCCP', b'Test RGB\0\0' + zlib.compress(icc, 9))))
write('png/profile-srgb.png', png(rgb, W, H, chunk(b'sRGB', b'\x01')))
large = struct.pack('>I', (4 << 20) + 128) + icc[4:128] + bytes(4 << 20)
write('png/profile-iccp-over-4MB.png', png(rgb, W, H, chunk(b'iCCP', b'Large\0\0' + zlib.compress(large, 9))))
os.remove('upright.jpg')
