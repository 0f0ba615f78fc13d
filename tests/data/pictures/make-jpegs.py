#!/usr/bin/env python3
# Writes the JPEGs of jpeg/ that are made by hand rather than by an encoder
# (see README.md, How they were made). Run from this folder.
import struct
import subprocess

JPEG = 'jpeg/'


def read(name):
    with open(JPEG + name, 'rb') as f:
        return f.read()


def write(name, data):
    with open(JPEG + name, 'wb') as f:
        f.write(data)


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack('>H', len(payload) + 2) + payload


def segments(data):
    """(offset, marker, length of the segment with its marker) up to EOI;
    a scan's length includes its entropy-coded data."""
    at, found = 2, []
    while True:
        marker = data[at + 1]
        if marker == 0xD9:
            return found + [(at, marker, 2)]
        end = at + 2 + struct.unpack('>H', data[at + 2:at + 4])[0]
        if marker == 0xDA:
            while not (data[end] == 0xFF and data[end + 1] != 0 and not 0xD0 <= data[end + 1] <= 0xD7):
                end += 1
        found.append((at, marker, end - at))
        at = end


def huffman(counts, symbols):
    """DHT payload of one table and its codes: symbol -> (code, length)."""
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[symbols[k]] = (code, length)
            code, k = code + 1, k + 1
        code <<= 1
    return bytes(counts) + bytes(symbols), codes


def dht(table_class, number, counts, symbols):
    payload, codes = huffman(counts, symbols)
    return segment(0xC4, bytes([table_class << 4 | number]) + payload), codes


class Bits:
    def __init__(self):
        self.out, self.byte, self.held = bytearray(), 0, 0

    def put(self, value, length):
        for i in reversed(range(length)):
            self.byte = self.byte << 1 | (value >> i & 1)
            self.held += 1
            if self.held == 8:
                self.out.append(self.byte)
                if self.byte == 0xFF:
                    self.out.append(0)
                self.byte = self.held = 0

    def code(self, codes, symbol):
        self.put(*codes[symbol])

    def end_of_band_run(self, codes, run):
        r = run.bit_length() - 1
        self.code(codes, r << 4)
        self.put(run - (1 << r), r)

    def data(self):
        if self.held:
            self.put((1 << (8 - self.held)) - 1, 8 - self.held)
        return bytes(self.out)


# The tables of the JPEG standard that decoders take for table numbers 0 and
# 1 when a file defines none.
STANDARD_DC_COUNTS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
STANDARD_DC = huffman(STANDARD_DC_COUNTS, list(range(12)))[1]


def sos(component, first, last, high, low, tables=0):
    return segment(0xDA, bytes([1, component, tables, first, last, high << 4 | low]))


def grey_frame(kind, width, height):
    quantisation = segment(0xDB, bytes([0]) + bytes([2] * 64))
    return b'\xff\xd8' + quantisation + segment(kind, struct.pack('>BHHB', 8, height, width, 1) + bytes([1, 0x11, 0]))


def blocks(width, height):
    return ((width + 7) // 8) * ((height + 7) // 8)


# Codes of end-of-band runs only, of every length, as AC table `number`.
def runs_table(number):
    return dht(1, number, [0, 0, 0, 15] + [0] * 12, [r << 4 for r in range(15)])


RUNS_TABLE, RUNS = runs_table(0)


def end_of_band_scan(count, first, last, high, low, component=1, tables=0):
    """One end-of-band run per 32767 blocks: nothing coded."""
    bits = Bits()
    while count > 0:
        run = min(count, 32767)
        bits.end_of_band_run(RUNS, run)
        count -= run
    return sos(component, first, last, high, low, tables) + bits.data()


def dc_first_scan(count, low, codes):
    """Every block's DC difference 0, so all blocks mid grey."""
    bits = Bits()
    for _ in range(count):
        bits.code(codes, 0)
    return sos(1, 0, 0, 0, low) + bits.data()


def without(data, marker):
    return data[:2] + b''.join(data[at:at + n] for at, m, n in segments(data) if m != marker)


def insert(data, at, extra):
    return data[:at] + extra + data[at:]


def cut_scan(data, fraction, scan=0):
    """Cut inside a scan's data, an end marker appended."""
    at, _, n = [s for s in segments(data) if s[1] == 0xDA][scan]
    return data[:at + int(n * fraction)] + b'\xff\xd9'


def jpegtran(*options):
    """grey.jpg's coefficients, written again with the standard tables."""
    return subprocess.run(['jpegtran', *options, JPEG + 'grey.jpg'], capture_output=True, check=True).stdout


# A sequential file without tables: decoders take the standard ones.
sequential = without(jpegtran(), 0xC4)
write('grey-without-tables.jpg', sequential)
write('grey-without-tables-cut-end-appended.jpg', cut_scan(sequential, 0.6))
scan = [s for s in segments(sequential) if s[1] == 0xDA][0][0]
write('grey-without-tables-2.jpg', sequential[:scan + 6] + b'\x22' + sequential[scan + 7:])

# A progressive file whose first scan comes before any table.
count = blocks(100, 100)
dc = dc_first_scan(count, 0, STANDARD_DC)
write('progressive-without-tables-cut-end-appended.jpg',
      grey_frame(0xC2, 100, 100) + dc[:len(dc) * 6 // 10] + b'\xff\xd9')
count = blocks(400, 400)
write('progressive-without-tables-end-of-band-refinements.jpg',
      grey_frame(0xC2, 400, 400) + dc_first_scan(count, 1, STANDARD_DC) + RUNS_TABLE +
      end_of_band_scan(count, 1, 63, 0, 1) +
      b''.join(end_of_band_scan(count, 1, 63, 1, 0) for _ in range(40)) + b'\xff\xd9')

# Scans that code nothing added to progressive.jpg: its pixels stay.
progressive = read('progressive.jpg')
end = segments(progressive)[-1][0]
table, _ = runs_table(2)


def more_scans(count, first, last):
    scan = end_of_band_scan(blocks(101, 100), first, last, 0, 0, tables=2)
    return progressive[:end] + table + scan * count + b'\xff\xd9'


write('progressive-500-scans.jpg', more_scans(490, 63, 63))
write('progressive-501-scans.jpg', more_scans(491, 63, 63))
write('progressive-51-scans-at-budget.jpg', more_scans(41, 1, 63))
write('progressive-52-scans-over-budget.jpg', more_scans(42, 1, 63))

# Bytes no block takes before a scan's marker, or between segments.
flipped = bytearray(read('baseline.jpg'))
flipped[1861] ^= 1
write('baseline-bit-flipped.jpg', bytes(flipped))
restart = jpegtran('-restart', '2')
write('grey-restart.jpg', restart)
write('grey-restart-bytes-before-restart.jpg', insert(restart, restart.index(b'\xff\xd0'), b'\x12\x34'))
grey = read('grey.jpg')
write('grey-bytes-between-segments.jpg', insert(grey, grey.index(b'\xff\xc0'), b'\x12\x34'))

# The walk reads 64 KiB at a time from offset 2: a comment puts the end
# marker's 0xFF last in the first load.
plain = read('baseline.jpg')
frame_end = sum(n for at, m, n in segments(plain) if m == 0xC0) + plain.index(b'\xff\xc0')
padded = insert(plain, frame_end, segment(0xFE, bytes(2 + 65536 - 1 - (len(plain) - 2) - 4)))
assert padded.index(b'\xff\xd9') == 2 + 65536 - 1
write('baseline-end-marker-at-buffer-end.jpg', padded)
