#include "jpeg_scan.h"

#include <algorithm>
#include <bit>
#include <new>
#include <numeric>

int ByteAfterFF(FileWalk* walk) {
  std::uint8_t next = 0xFF;
  while (next == 0xFF) {
    if (!walk->Next(&next)) return -1;
  }
  return next;
}

namespace {

// The bits of a scan's entropy-coded data, first bit first, with the zero
// after each 0xFF taken out. They end at the first marker.
class ScanBits {
 public:
  explicit ScanBits(FileWalk* walk) : walk_(walk) {}

  // The next 16 bits, zeros past the end of the data.
  std::uint32_t Peek16() {
    Fill();
    return bits_ >> 16;
  }

  // False if fewer than `count` (at most 16) bits are left.
  bool Take(unsigned count) {
    if (count > held_) {
      Fill();
      if (count > held_) return false;
    }
    bits_ <<= count;
    held_ -= count;
    return true;
  }

  // After the last block of a scan or restart interval: the rest of the
  // byte is padding, and a marker must come next. A whole byte more is data
  // no block took, a sign of corrupt codes, which decoders step over.
  bool EndsHere() {
    Fill();
    return held_ < 8 && atMarker_ && !end_;
  }

  // Between restart intervals: the restart marker of the given number must
  // come next.
  bool Restart(unsigned number) {
    if (!EndsHere()) return false;
    bits_ = held_ = 0;
    std::uint8_t marker[2];
    if (!walk_->Read(marker, 2) || marker[1] != 0xD0 + number) return false;
    atMarker_ = false;
    return true;
  }

 private:
  void Fill() {
    while (held_ <= 24 && !atMarker_) {
      std::uint8_t byte = 0;
      if (!walk_->Next(&byte)) {
        atMarker_ = end_ = true;
        return;
      }
      if (byte == 0xFF && AtMarkerOrStuffedZero()) return;
      bits_ |= std::uint32_t{byte} << (24 - held_);
      held_ += 8;
    }
  }

  // After a 0xFF: true, with the walk back at the 0xFF, if a marker follows
  // (after any fill bytes); false if it was a stuffed zero.
  bool AtMarkerOrStuffedZero() {
    const int next = ByteAfterFF(walk_);
    if (next == 0x00) return false;
    if (next < 0) {
      end_ = true;
    } else {
      walk_->Unread(2);
    }
    atMarker_ = true;
    return true;
  }

  FileWalk* walk_;
  std::uint32_t bits_ = 0;  // held from the top bit down
  unsigned held_ = 0;
  bool atMarker_ = false, end_ = false;
};

// The symbol the next code stands for; -1 if no code of the table starts
// the bits, or the data ends inside the code.
int Decode(ScanBits* bits, const HuffmanTable& table) {
  const std::uint32_t peeked = bits->Peek16();
  const unsigned quick = table.quick[peeked >> (16 - HuffmanTable::kQuickBits)];
  if (quick != 0) return bits->Take(quick >> 8) ? static_cast<int>(quick & 0xFF) : -1;
  for (unsigned length = HuffmanTable::kQuickBits + 1; length <= 16; ++length) {
    const auto code = static_cast<std::int32_t>(peeked >> (16 - length));
    if (code <= table.largestCode[length]) {
      if (!bits->Take(length)) return -1;
      return table.values[table.firstIndex[length] + code - table.firstCode[length]];
    }
  }
  return -1;
}

enum class ScanKind { Sequential, DcFirst, DcRefine, AcFirst, AcRefine };

struct BlockCoding {
  const HuffmanTable* dc;
  const HuffmanTable* ac;
};

// Takes one bit for each coefficient of the band that is non-zero already.
bool TakeCorrections(ScanBits* bits, std::uint64_t nonZero, unsigned from, unsigned to) {
  const std::uint64_t band = (~std::uint64_t{0} >> (63 - to)) & (~std::uint64_t{0} << from);
  for (auto count = static_cast<unsigned>(std::popcount(nonZero & band)); count > 0;) {
    const unsigned taken = std::min(count, 16u);
    if (!bits->Take(taken)) return false;
    count -= taken;
  }
  return true;
}

// The bit of the k-th coefficient; decoders clamp a run past the band's end
// to the last coefficient.
std::uint64_t CoefficientBit(unsigned k) { return std::uint64_t{1} << std::min(k, 63u); }

// One block's codes; in AC scans of a progressive picture also the run of
// blocks after it that its end-of-band code leaves uncoded.
bool WalkBlock(ScanBits* bits, ScanKind kind, const BlockCoding& block, std::uint64_t* nonZero,
               unsigned first, unsigned last, std::uint32_t* endOfBandRun) {
  if (kind == ScanKind::DcRefine) return bits->Take(1);
  const bool refine = kind == ScanKind::AcRefine;
  if (refine && *endOfBandRun > 0) {
    --*endOfBandRun;
    return TakeCorrections(bits, *nonZero, first, last);
  }
  if (kind == ScanKind::Sequential || kind == ScanKind::DcFirst) {
    const int size = Decode(bits, *block.dc);
    if (size < 0 || size > 15 || !bits->Take(static_cast<unsigned>(size))) return false;
    if (kind == ScanKind::DcFirst) return true;
  }
  unsigned k = first;
  for (; k <= last; ++k) {
    const int symbol = Decode(bits, *block.ac);
    if (symbol < 0) return false;
    unsigned run = static_cast<unsigned>(symbol) >> 4;
    const unsigned size = symbol & 15;
    // A refinement brings in new coefficients of one bit only.
    if (refine && size > 1) return false;
    if (size == 0 && run != 15) {
      if (kind != ScanKind::Sequential) {
        std::uint32_t extra = 0;
        if (run > 0) {
          extra = bits->Peek16() >> (16 - run);
          if (!bits->Take(run)) return false;
        }
        *endOfBandRun = (1u << run) + extra;
      }
      break;
    }
    if (!bits->Take(size)) return false;
    if (!refine) {
      k += run;
      if (size != 0 && nonZero != nullptr) *nonZero |= CoefficientBit(k);
      continue;
    }
    // Zero coefficients are counted off by the run; each non-zero one met
    // on the way takes a correction bit.
    for (; k <= last; ++k) {
      if ((*nonZero & CoefficientBit(k)) != 0) {
        if (!bits->Take(1)) return false;
      } else if (run-- == 0) {
        break;
      }
    }
    if (size != 0) *nonZero |= CoefficientBit(k);
  }
  // In a refinement, the rest of the band after its end still takes its
  // corrections, as do the blocks of the run.
  if (refine && *endOfBandRun > 0 && k <= last && !TakeCorrections(bits, *nonZero, k, last)) {
    return false;
  }
  if (*endOfBandRun > 0) --*endOfBandRun;
  return true;
}

}  // namespace

namespace {

// The JPEG standard's tables as a DHT segment: DC 0 and 1, AC 0 and 1.
constexpr std::uint8_t kStandardTables[] = {
    0x00, 0x00, 0x01, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
    0x01, 0x00, 0x03, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
    0x10, 0x00, 0x02, 0x01, 0x03, 0x03, 0x02, 0x04, 0x03, 0x05, 0x05, 0x04, 0x04, 0x00, 0x00, 0x01, 0x7D,
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
    0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0, 0x24, 0x33,
    0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x34,
    0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55,
    0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76,
    0x77, 0x78, 0x79, 0x7A, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5,
    0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4,
    0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1,
    0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA,
    0x11, 0x00, 0x02, 0x01, 0x02, 0x04, 0x04, 0x03, 0x04, 0x07, 0x05, 0x04, 0x04, 0x00, 0x01, 0x02, 0x77,
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
    0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0, 0x15, 0x62,
    0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26, 0x27, 0x28, 0x29,
    0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54,
    0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7A, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94,
    0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3,
    0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2,
    0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA,
    0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA,
};

// A scan's table; decoders take a sequential scan's table 0 or 1 from the
// standard ones until the file defines it. Null if there is none: the
// progressive decoders differ there, one taking the standard tables,
// another refusing the file.
const HuffmanTable* ScanTable(JpegCoding* coding, unsigned tableClass, unsigned number) {
  HuffmanTable& table = coding->tables[tableClass][number];
  for (std::size_t at = 0; !table.defined && !coding->progressive && at < sizeof kStandardTables;) {
    const std::size_t size =
        std::accumulate(kStandardTables + at + 1, kStandardTables + at + 17, std::size_t{17});
    if (kStandardTables[at] == (tableClass << 4 | number)) {
      ReadHuffmanTables(kStandardTables + at, size, coding);
    }
    at += size;
  }
  return table.defined ? &table : nullptr;
}

}  // namespace

bool ReadHuffmanTables(const std::uint8_t* segment, std::size_t size, JpegCoding* coding) {
  for (std::size_t at = 0; at < size;) {
    if (size - at < 17) return false;
    const unsigned tableClass = segment[at] >> 4, id = segment[at] & 15;
    if (tableClass > 1 || id > 3) return false;
    HuffmanTable& table = coding->tables[tableClass][id];
    table = HuffmanTable{};
    const std::uint8_t* counts = segment + at + 1;
    std::uint32_t code = 0, index = 0;
    for (unsigned length = 1; length <= 16; ++length) {
      table.firstIndex[length] = static_cast<std::int32_t>(index);
      table.firstCode[length] = static_cast<std::uint16_t>(code);
      code += counts[length - 1];
      index += counts[length - 1];
      // More codes than bits of this length can tell apart.
      if (code > (1u << length) || index > 256) return false;
      table.largestCode[length] = counts[length - 1] == 0 ? -1 : static_cast<std::int32_t>(code) - 1;
      code <<= 1;
    }
    at += 17;
    if (size - at < index) return false;
    std::copy(segment + at, segment + at + index, table.values);
    for (unsigned length = 1; length <= HuffmanTable::kQuickBits; ++length) {
      for (std::int32_t c = table.firstCode[length]; c <= table.largestCode[length]; ++c) {
        const unsigned spare = HuffmanTable::kQuickBits - length;
        const auto entry = static_cast<std::uint16_t>(
            length << 8 | table.values[table.firstIndex[length] + c - table.firstCode[length]]);
        std::fill_n(table.quick + (static_cast<unsigned>(c) << spare), 1u << spare, entry);
      }
    }
    table.defined = true;
    at += index;
  }
  return true;
}

LoadResult WalkScan(FileWalk* walk, JpegCoding* coding, const std::uint8_t* header,
                    std::size_t size, std::uint64_t* bytes) {
  // Components, each with its id and tables, then the band of coefficients
  // and the bit positions of a progressive picture.
  const unsigned count = size > 0 ? header[0] : 0;
  if (count == 0 || count > 4 || size != 1 + 2 * std::size_t{count} + 3) return LoadResult::NotFound;
  const std::uint8_t* tail = header + 1 + 2 * count;
  const unsigned first = tail[0], last = tail[1], refinement = tail[2] >> 4;
  ScanKind kind = ScanKind::Sequential;
  if (coding->progressive) {
    if (first == 0) {
      kind = refinement == 0 ? ScanKind::DcFirst : ScanKind::DcRefine;
    } else {
      kind = refinement == 0 ? ScanKind::AcFirst : ScanKind::AcRefine;
    }
  }
  const bool acBand = kind == ScanKind::AcFirst || kind == ScanKind::AcRefine;
  const unsigned low = tail[2] & 15;
  if (coding->progressive && (last > 63 || first > last || (first == 0) != (last == 0) ||
                              (acBand && count != 1) || low > 13 ||
                              (refinement != 0 && low != refinement - 1))) {
    return LoadResult::NotFound;
  }
  const bool needsDc = kind == ScanKind::Sequential || kind == ScanKind::DcFirst;
  const bool needsAc = kind == ScanKind::Sequential || acBand;

  // The blocks of one MCU, in the order they are coded.
  BlockCoding blocks[4 * 16];
  unsigned blockCount = 0, onlyIndex = 0;
  for (unsigned i = 0; i < count; ++i) {
    const std::uint8_t id = header[1 + 2 * i], tables = header[2 + 2 * i];
    unsigned index = 0;
    while (index < coding->componentCount && coding->components[index].id != id) ++index;
    // Only the tables a scan uses must exist; decoders ignore the others.
    if (index == coding->componentCount || (needsDc && (tables >> 4) > 3) ||
        (needsAc && (tables & 15) > 3)) {
      return LoadResult::NotFound;
    }
    const HuffmanTable* dc = needsDc ? ScanTable(coding, 0, tables >> 4) : nullptr;
    const HuffmanTable* ac = needsAc ? ScanTable(coding, 1, tables & 15) : nullptr;
    if ((needsDc && dc == nullptr) || (needsAc && ac == nullptr)) return LoadResult::NotFound;
    onlyIndex = index;
    const JpegComponent& component = coding->components[index];
    const unsigned inMcu = count == 1 ? 1u : unsigned{component.h} * component.v;
    for (unsigned b = 0; b < inMcu; ++b) blocks[blockCount++] = {dc, ac};
  }
  const auto across = [](std::uint64_t whole, std::uint64_t per) { return (whole + per - 1) / per; };
  const JpegComponent& only = coding->components[onlyIndex];
  const std::uint64_t mcus =
      count == 1 ? across(std::uint64_t{coding->width} * only.h, 8ull * coding->maxH) *
                       across(std::uint64_t{coding->height} * only.v, 8ull * coding->maxV)
                 : across(coding->width, 8ull * coding->maxH) * across(coding->height, 8ull * coding->maxV);
  // A decoder goes over the band of every block, even of one an end-of-band
  // run leaves uncoded.
  const std::uint64_t band = kind == ScanKind::Sequential ? 64 : last - first + 1;
  if (coding->coefficientVisitsLeft / band / blockCount < mcus) return LoadResult::Unsupported;
  coding->coefficientVisitsLeft -= mcus * blockCount * band;
  // In AC scans an MCU is one block of the one component.
  std::unique_ptr<std::uint64_t[]>& nonZero = coding->nonZero[onlyIndex];
  if (acBand && nonZero == nullptr) {
    nonZero.reset(new (std::nothrow) std::uint64_t[mcus]());
    if (nonZero == nullptr) return LoadResult::OutOfMemory;
  }

  const std::uint64_t start = walk->Position();
  ScanBits bits(walk);
  const std::uint64_t interval = coding->restartInterval;
  std::uint32_t endOfBandRun = 0;
  unsigned restartNumber = 0;
  for (std::uint64_t mcu = 0; mcu < mcus;) {
    if (interval != 0 && mcu > 0 && mcu % interval == 0) {
      if (!bits.Restart(restartNumber)) return LoadResult::NotFound;
      restartNumber = (restartNumber + 1) & 7;
      endOfBandRun = 0;
    }
    if (kind == ScanKind::AcFirst && endOfBandRun > 0) {
      // Blocks with nothing coded, up to the next restart at most.
      std::uint64_t skipped = std::min<std::uint64_t>(endOfBandRun, mcus - mcu);
      if (interval != 0) skipped = std::min(skipped, interval - mcu % interval);
      endOfBandRun -= static_cast<std::uint32_t>(skipped);
      mcu += skipped;
      continue;
    }
    for (unsigned b = 0; b < blockCount; ++b) {
      if (!WalkBlock(&bits, kind, blocks[b], acBand ? &nonZero[mcu] : nullptr, std::max(first, 1u),
                     last, &endOfBandRun)) {
        return LoadResult::NotFound;
      }
    }
    ++mcu;
  }
  if (!bits.EndsHere()) return LoadResult::NotFound;
  *bytes += walk->Position() - start;
  return LoadResult::Loaded;
}
