#pragma once

// Whether a JPEG's scans hold a code for every block, told by walking their
// Huffman codes without decoding a pixel. A decoder that runs out of data
// part way through a scan fills the remaining blocks in; we refuse such a
// file instead, the same on every platform, whatever its decoder says.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "file_walk.h"

struct HuffmanTable {
  bool defined;
  std::int32_t largestCode[17];  // of each code length; -1: none that long
  std::int32_t firstIndex[17];   // into values, of the first code of each length
  std::uint16_t firstCode[17];
  std::uint8_t values[256];
  // Codes of up to kQuickBits bits, by the next kQuickBits bits: length << 8
  // | symbol; 0 for longer codes.
  static constexpr unsigned kQuickBits = 9;
  std::uint16_t quick[1u << kQuickBits];
};

struct JpegComponent {
  std::uint8_t id, h, v;
};

// What the frame header, the Huffman tables and the restart interval say,
// gathered while the markers are walked.
struct JpegCoding {
  bool progressive;
  std::uint32_t width, height;
  unsigned maxH, maxV;
  unsigned componentCount;
  JpegComponent components[4];
  HuffmanTable tables[2][4];  // DC, AC
  unsigned restartInterval;   // MCUs between restart markers; 0: none
  // Coefficients the scans may still go over, a block's band in each scan
  // it codes; a scan past it is not supported.
  std::uint64_t coefficientVisitsLeft;
  // Progressive pictures: per component and block, which AC coefficients
  // (bit k for the k-th in zigzag order) earlier scans made non-zero; a
  // refinement scan codes one bit for each of them in its band.
  std::unique_ptr<std::uint64_t[]> nonZero[4];
};

// Takes the tables of a DHT segment (without its marker and length). False
// if the segment makes no sense.
bool ReadHuffmanTables(const std::uint8_t* segment, std::size_t size, JpegCoding* coding);

// After a 0xFF: the byte that follows it past any fill bytes (0xFF), the
// walk after it; 0x00 in entropy-coded data for a stuffed zero, else a
// marker's kind. -1 if the file ends first.
int ByteAfterFF(FileWalk* walk);

// Reads the entropy-coded data of the scan whose header (without marker and
// length) is given, up to the marker that ends it, which is read next; adds
// the bytes read to `bytes`. A sequential scan without a table of number 0
// or 1 takes the standard one, as decoders do. Verdict NotFound if the data
// ends before every block of the scan is coded, a whole byte is left after
// the last block of an interval, a code is none of its table's, a restart
// marker is missing, or a table is; Unsupported once the scans have gone
// over more coefficients than coefficientVisitsLeft allows; OutOfMemory if
// the state of a progressive picture cannot be had.
LoadResult WalkScan(FileWalk* walk, JpegCoding* coding, const std::uint8_t* header,
                    std::size_t size, std::uint64_t* bytes);
