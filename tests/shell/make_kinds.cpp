// glintor-bmp-kinds DIR: writes every kind of picture of bmp_kinds.h to DIR
// as NAME.bmp, for each one that loads also NAME.plain.bmp (the same pixels
// as a plain 24-bit file), and DIR/expected.txt with one line per kind:
// NAME and what loading it must give (loaded, notfound, small, large,
// unsupported). Every kind of PNG of png_kinds.h goes to DIR as NAME.png.

#include <cstdio>
#include <fstream>
#include <string>

#include "bmp_kinds.h"
#include "bmp_test_files.h"
#include "png_kinds.h"

namespace {

const char* Outcome(LoadResult result) {
  switch (result) {
    case LoadResult::Loaded: return "loaded";
    case LoadResult::NotFound: return "notfound";
    case LoadResult::TooSmall: return "small";
    case LoadResult::TooLarge: return "large";
    case LoadResult::Unsupported:
    case LoadResult::UnknownFormat: return "unsupported";
    case LoadResult::OutOfMemory: return "memory";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: glintor-bmp-kinds DIR\n", stderr);
    return 2;
  }
  const std::string directory = argv[1];
  std::ofstream expected(directory + "/expected.txt");
  for (const bmp_test::BmpKind& kind : bmp_test::AllKinds()) {
    bmp_test::WriteFile(directory + "/" + kind.name + ".bmp", bmp_test::MakeKind(kind));
    if (kind.expected == LoadResult::Loaded) {
      bmp_test::WriteFile(directory + "/" + kind.name + ".plain.bmp",
                          bmp_test::MakeKind({.name = kind.name, .width = kind.width, .height = kind.height}));
    }
    expected << kind.name << ' ' << Outcome(kind.expected) << '\n';
  }
  // Every kind of PNG too, small: seeds for the fuzzer.
  for (const png_test::PngKind& kind : png_test::AllPngKinds()) {
    bmp_test::WriteFile(directory + "/" + kind.name + ".png", png_test::MakePng(kind, 101, 100));
  }
  expected.flush();
  if (!expected) {
    std::fprintf(stderr, "glintor-bmp-kinds: could not write to %s\n", directory.c_str());
    return 1;
  }
  return 0;
}
