#include "jpeg_scan.h"

#include <algorithm>
#include <bit>
#include <new>

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

  // Between restart intervals: the rest of the byte is padding, and the
  // restart marker of the given number must come next.
  bool Restart(unsigned number) {
    bits_ = held_ = 0;
    if (!atMarker_) {
      // Bytes no MCU needed: decoders step over them.
      for (std::uint8_t byte = 0; !atMarker_;) {
        if (!walk_->Next(&byte)) return false;
        if (byte == 0xFF) AtMarkerOrStuffedZero();
      }
    }
    std::uint8_t marker[2];
    if (end_ || !walk_->Read(marker, 2) || marker[1] != 0xD0 + number) return false;
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

bool SkipEntropyCodedData(FileWalk* walk, std::uint64_t* bytes) {
  const std::uint64_t start = walk->Position();
  for (std::uint8_t byte = 0; walk->Next(&byte);) {
    if (byte != 0xFF) continue;
    // A stuffed zero or a restart marker belongs to the data.
    const int next = ByteAfterFF(walk);
    if (next < 0) return false;
    if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) continue;
    walk->Unread(2);
    *bytes += walk->Position() - start;
    return true;
  }
  return false;
}

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
    const HuffmanTable& dc = coding->tables[0][(tables >> 4) & 3];
    const HuffmanTable& ac = coding->tables[1][tables & 3];
    // Without tables a decoder may take the standard ones: not ours to check.
    if ((needsDc && !dc.defined) || (needsAc && !ac.defined) || coding->unchecked) {
      coding->unchecked = coding->progressive;
      return SkipEntropyCodedData(walk, bytes) ? LoadResult::Loaded : LoadResult::NotFound;
    }
    onlyIndex = index;
    const JpegComponent& component = coding->components[index];
    const unsigned inMcu = count == 1 ? 1u : unsigned{component.h} * component.v;
    for (unsigned b = 0; b < inMcu; ++b) blocks[blockCount++] = {&dc, &ac};
  }
  const auto across = [](std::uint64_t whole, std::uint64_t per) { return (whole + per - 1) / per; };
  const JpegComponent& only = coding->components[onlyIndex];
  const std::uint64_t mcus =
      count == 1 ? across(std::uint64_t{coding->width} * only.h, 8ull * coding->maxH) *
                       across(std::uint64_t{coding->height} * only.v, 8ull * coding->maxV)
                 : across(coding->width, 8ull * coding->maxH) * across(coding->height, 8ull * coding->maxV);
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
    if (coding->blockVisitsLeft < blockCount) return LoadResult::Unsupported;
    coding->blockVisitsLeft -= blockCount;
    for (unsigned b = 0; b < blockCount; ++b) {
      if (!WalkBlock(&bits, kind, blocks[b], acBand ? &nonZero[mcu] : nullptr, std::max(first, 1u),
                     last, &endOfBandRun)) {
        return LoadResult::NotFound;
      }
    }
    ++mcu;
  }
  std::uint64_t rest = 0;
  if (!SkipEntropyCodedData(walk, &rest)) return LoadResult::NotFound;
  *bytes += walk->Position() - start;
  return LoadResult::Loaded;
}
