// glintor-bmp-kinds DIR: writes every kind of picture of bmp_kinds.h to DIR
// as NAME.bmp, for each one that loads also NAME.plain.bmp (the same pixels
// as a plain 24-bit file), and DIR/expected.txt with one line per kind:
// NAME and what loading it must give (loaded, notfound, small, large,
// unsupported).

#include <cstdio>
#include <fstream>
#include <string>

#include "bmp_kinds.h"
#include "bmp_test_files.h"

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
  expected.flush();
  if (!expected) {
    std::fprintf(stderr, "glintor-bmp-kinds: could not write to %s\n", directory.c_str());
    return 1;
  }
  return 0;
}
