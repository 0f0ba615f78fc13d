#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "reference_renderer.h"
#include "renderer.h"
#include "scene_state.h"
#include "test_scene.h"

namespace {

std::vector<Pixel> WalkOf(Quadrant quadrant) {
  std::vector<Pixel> visits;
  auto record = [&](std::int32_t column, std::int32_t row, std::size_t index) {
    EXPECT_EQ(index, static_cast<std::size_t>(row) * scene.width + static_cast<std::size_t>(column));
    visits.push_back({column, row});
  };
  WalkIn(quadrant, record, [] {});
  return visits;
}

// The 8 x 6 grid with the light at (3, 2), rings separated by comments.
const std::vector<Pixel> kWorkedVisits[4] = {
    {{0, 2}, {0, 1}, {0, 0}, {1, 0}, {2, 0}, {3, 0}, /**/ {1, 1}, {2, 1}, {3, 1}},
    {{4, 0}, {5, 0}, {6, 0}, {7, 0}, {7, 1}, {7, 2}, /**/ {4, 1}, {5, 1}, {6, 1}, {6, 2}},
    {{2, 5}, {1, 5}, {0, 5}, {0, 4}, {0, 3}, {0, 2}, /**/ {2, 4}, {1, 4}, {1, 3}, {1, 2}, /**/ {2, 3}, {2, 2}},
    {{7, 3}, {7, 4}, {7, 5}, {6, 5}, {5, 5}, {4, 5}, {3, 5}, /**/ {6, 3}, {6, 4}, {5, 4}, {4, 4}, {3, 4},
     /**/ {5, 3}, {4, 3}, {3, 3}},
};

TEST(QuadrantWalk, VisitsTheWorkedExampleInOrder) {
  ScopedScene picture(8, 6, RandomPicture(8, 6, 5));
  SetLight({3, 2});
  for (int q = 0; q < 4; ++q) {
    EXPECT_EQ(WalkOf(kQuadrants[q]), kWorkedVisits[q]) << "routine " << q;
    EXPECT_EQ(ReferenceVisits(kQuadrants[q], 8, 6, {3, 2}), kWorkedVisits[q]) << "routine " << q;
  }
}

// Run one after another, each routine traces only its first ring's targets,
// minus (0, 2), which the lower-left routine's first ray already passed.
TEST(QuadrantWalk, WorkedExampleTracesOnlyFirstRingTargets) {
  ScopedScene picture(8, 6, RandomPicture(8, 6, 6));
  SetLight({3, 2});
  const std::size_t tracedPrefix[4] = {6, 6, 5, 7};
  for (int q = 0; q < 4; ++q) {
    std::vector<Pixel> traced;
    auto traceIfUncovered = [&](std::int32_t column, std::int32_t row, std::size_t index) {
      if (scene.coverage[index] != 0) return;
      traced.push_back({column, row});
      TraceRayIn(AccumulationMode::Weighted, {column, row});
    };
    WalkIn(kQuadrants[q], traceIfUncovered, [] {});
    const std::vector<Pixel> expected(kWorkedVisits[q].begin(),
                                      kWorkedVisits[q].begin() + static_cast<long>(tracedPrefix[q]));
    EXPECT_EQ(traced, expected) << "routine " << q;
  }
  for (std::size_t i = 0; i < PixelCount(); ++i)
    EXPECT_EQ(scene.coverage[i], i == scene.lightIndex ? 0 : 1) << "pixel " << i;
}

struct Grid {
  int width;
  int height;
};
constexpr Grid kSmallGrids[] = {{1, 1}, {1, 5}, {6, 1}, {2, 2}, {7, 5}, {6, 9}, {10, 10}, {13, 4}};

TEST(QuadrantWalk, MatchesTheRingDefinitionForEveryLight) {
  for (Grid grid : kSmallGrids) {
    ScopedScene picture(grid.width, grid.height, RandomPicture(grid.width, grid.height, 7));
    for (int row = 0; row < grid.height; ++row) {
      for (int column = 0; column < grid.width; ++column) {
        SetLight({column, row});
        for (Quadrant quadrant : kQuadrants) {
          ASSERT_EQ(WalkOf(quadrant), ReferenceVisits(quadrant, grid.width, grid.height, {column, row}))
              << grid.width << "x" << grid.height << " light " << column << "," << row
              << " routine " << static_cast<int>(quadrant);
        }
      }
    }
  }
}

// Off the light's row and column every pixel is visited exactly once; on
// them only the ends of second legs, and (0, lr) twice when both left
// routines have rings.
TEST(QuadrantWalk, TargetsEveryPixelOnceExceptOnTheLightsLines) {
  for (Grid grid : kSmallGrids) {
    const int w = grid.width, h = grid.height;
    ScopedScene picture(w, h, RandomPicture(w, h, 8));
    for (int lr = 0; lr < h; ++lr) {
      for (int lc = 0; lc < w; ++lc) {
        SetLight({lc, lr});
        std::vector<int> visits(static_cast<std::size_t>(w * h));
        for (Quadrant quadrant : kQuadrants)
          for (Pixel p : WalkOf(quadrant)) ++visits[static_cast<std::size_t>(p.row * w + p.column)];
        const int ringsLowerLeft = std::min(lc, lr), ringsLowerRight = std::min(w - 1 - lc, lr);
        const int ringsUpperLeft = std::min(lc, h - 1 - lr), ringsUpperRight = std::min(w - 1 - lc, h - 1 - lr);
        for (int row = 0; row < h; ++row) {
          for (int column = 0; column < w; ++column) {
            int expected = 1;
            if (row == lr && column == lc) {
              expected = 0;
            } else if (row == lr && column < lc) {
              expected = (column < ringsUpperLeft) + (column == 0 && ringsLowerLeft >= 1);
            } else if (row == lr) {
              expected = column >= w - ringsLowerRight;
            } else if (column == lc && row < lr) {
              expected = row < ringsLowerLeft;
            } else if (column == lc) {
              expected = row >= h - ringsUpperRight;
            }
            ASSERT_EQ(visits[static_cast<std::size_t>(row * w + column)], expected)
                << w << "x" << h << " light " << lc << "," << lr << " pixel " << column << "," << row;
          }
        }
      }
    }
  }
}

TEST(QuadrantWalk, RoutinesWithoutRingsVisitNothingAtTheEdges) {
  ScopedScene picture(9, 7, RandomPicture(9, 7, 9));
  struct Case {
    Pixel light;
    std::set<Quadrant> idle;
  };
  const Case cases[] = {
      {{0, 3}, {Quadrant::LowerLeft, Quadrant::UpperLeft}},
      {{8, 3}, {Quadrant::LowerRight, Quadrant::UpperRight}},
      {{4, 0}, {Quadrant::LowerLeft, Quadrant::LowerRight}},
      {{4, 6}, {Quadrant::UpperLeft, Quadrant::UpperRight}},
      {{0, 0}, {Quadrant::LowerLeft, Quadrant::LowerRight, Quadrant::UpperLeft}},
      {{8, 6}, {Quadrant::LowerRight, Quadrant::UpperLeft, Quadrant::UpperRight}},
  };
  for (const Case& c : cases) {
    SetLight(c.light);
    for (Quadrant quadrant : kQuadrants)
      EXPECT_EQ(WalkOf(quadrant).empty(), c.idle.count(quadrant) == 1)
          << "light " << c.light.column << "," << c.light.row << " routine " << static_cast<int>(quadrant);
  }
}

int RingsOf(Quadrant quadrant) {
  int rings = 0;
  auto ignore = [](std::int32_t, std::int32_t, std::size_t) {};
  auto ringDone = [&] { ++rings; };
  WalkIn(quadrant, ignore, ringDone);
  return rings;
}

TEST(QuadrantWalk, ReportsTheEndOfEveryRing) {
  ScopedScene picture(100, 100, RandomPicture(100, 100, 17));
  SetLight({50, 50});
  EXPECT_EQ(RingsOf(Quadrant::LowerLeft), 50);
  EXPECT_EQ(RingsOf(Quadrant::LowerRight), 49);
  EXPECT_EQ(RingsOf(Quadrant::UpperLeft), 49);
  EXPECT_EQ(RingsOf(Quadrant::UpperRight), 49);
  SetLight({3, 97});
  EXPECT_EQ(RingsOf(Quadrant::LowerLeft), 3);
  EXPECT_EQ(RingsOf(Quadrant::LowerRight), 96);
  EXPECT_EQ(RingsOf(Quadrant::UpperLeft), 2);
  EXPECT_EQ(RingsOf(Quadrant::UpperRight), 2);
}

TEST(QuadrantWalk, LightInTheTopRightCornerLeavesAllWorkToLowerLeft) {
  for (Grid grid : {Grid{100, 100}, Grid{100, 150}, Grid{150, 100}}) {
    ScopedScene picture(grid.width, grid.height, RandomPicture(grid.width, grid.height, 10));
    SetLight({grid.width - 1, grid.height - 1});
    const std::size_t expected = static_cast<std::size_t>(
        grid.width * grid.height - std::max(grid.width, grid.height) + 1);
    EXPECT_EQ(WalkOf(Quadrant::LowerLeft).size(), expected) << grid.width << "x" << grid.height;
    RenderFrameIn(AccumulationMode::Uniform);
    for (std::size_t i = 0; i < PixelCount(); ++i)
      ASSERT_EQ(scene.coverage[i], i == scene.lightIndex ? 0 : 1) << "pixel " << i;
  }
}

// Whatever the threads do, the pixels left uncovered are the light pixel
// plus at most one corner that no ray can reach from an edge light.
TEST(Casting, LeavesOnlyTheKnownPixelsUncoveredForEveryLight) {
  for (Grid grid : {Grid{7, 5}, Grid{5, 9}, Grid{11, 11}, Grid{2, 3}, Grid{3, 2}}) {
    const int w = grid.width, h = grid.height;
    ScopedScene picture(w, h, RandomPicture(w, h, 11));
    for (int lr = 0; lr < h; ++lr) {
      for (int lc = 0; lc < w; ++lc) {
        SetLight({lc, lr});
        RenderFrameIn(AccumulationMode::Weighted);
        std::set<std::pair<int, int>> expected = {{lc, lr}};
        if (lr == 0 && lc != w - 1) expected.insert({w - 1, 0});
        if (lc == 0 && lr != 0) expected.insert({0, 0});
        if (lc == w - 1 && lr != h - 1) expected.insert({w - 1, h - 1});
        std::set<std::pair<int, int>> uncovered;
        for (int row = 0; row < h; ++row)
          for (int column = 0; column < w; ++column)
            if (scene.coverage[static_cast<std::size_t>(row * w + column)] == 0) uncovered.insert({column, row});
        ASSERT_EQ(uncovered, expected) << w << "x" << h << " light " << lc << "," << lr;
      }
    }
  }
}

}  // namespace
