#include <gtest/gtest.h>

#include "physics/geometry.h"

using namespace tumbla;

TEST(geometry, wrapAngles) {
    struct row {
        double in, out360, out180;
    };
    for (row r : {row{360.0, 0.0, 0.0}, row{-30.0, 330.0, -30.0}, row{180.0, 180.0, 180.0},
                  row{190.0, 190.0, -170.0}, row{-180.0, 180.0, -180.0}, row{540.0, 180.0, 180.0}}) {
        EXPECT_EQ(wrapAngle360(r.in), r.out360) << r.in;
        EXPECT_EQ(wrapAngle180(r.in), r.out180) << r.in;
    }
}

TEST(geometry, guardKeepsAxisAlignedSegmentsFinite) {
    // The guard turns a zero difference into 1e-5, so results are near, not exact.
    EXPECT_NEAR(lineDistance(5, 3, 0, 0, 10, 0), 3.0, 1e-4);
    EXPECT_NEAR(lineDistance(3, 5, 0, 0, 0, 10), 3.0, 1e-4);
    point2 q = projectOntoLine(5, 3, 0, 0, 10, 0);
    EXPECT_NEAR(q.x, 5.0, 1e-4);
    EXPECT_NEAR(q.y, 0.0, 1e-4);
}

TEST(geometry, bandExcludesSegmentEnds) {
    EXPECT_TRUE(insideBand(5, 3, 0, 0, 10, 0));
    EXPECT_FALSE(insideBand(0, 0, 0, 0, 10, 0));
    EXPECT_FALSE(insideBand(10, 0, 0, 0, 10, 0));
    EXPECT_FALSE(insideBand(11, 0, 0, 0, 10, 0));
    EXPECT_FALSE(insideBand(5, 5, 3, 3, 3, 3));  // a segment of one point has no band
}

TEST(geometry, truncation) {
    EXPECT_EQ(truncateToInt(12.9), 12);
    EXPECT_EQ(truncateToInt(-0.7), 0);
    EXPECT_EQ(truncateToInt(1e300), 2147483647);
    EXPECT_EQ(truncateToInt(0.0 / 0.0 * 0 + std::nan("")), 0);
}
