#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "selection/selection_test_support.h"

namespace {

using compensation::kDegToRad;
using compensation::kInvalidInput;
using compensation::testing::Measurement;
using compensation::testing::TraceCapture;

struct Target {
    double range;
    double azimuth;
    double elevation;
};

// One view in the host's layout: the reference vector, the front sights, then the back sights
// stored in the same angular form as their front sights.
void AppendView(std::vector<CVector>& host, const std::vector<Target>& targets) {
    host.push_back(Measurement(14, 3.0, targets.front().azimuth, 0.0));
    for (const Target& t : targets) {
        host.push_back(Measurement(100, t.range, t.azimuth, t.elevation));
    }
    for (const Target& t : targets) {
        host.push_back(Measurement(200, t.range, t.azimuth, t.elevation));
    }
}

const std::vector<Target> kTwoTargets = {{4.0, 0.3, 0.1}, {6.0, -0.8, 0.2}};

struct Classified {
    std::vector<CVector> front;
    std::vector<CVector> back;
    int count = -7;
    int result = -7;
};

Classified Classify(CCompensation& engine, std::vector<CVector>& host, int nCount) {
    Classified c;
    c.front.resize(host.size());
    c.back.resize(host.size());
    c.result = engine.ClassifyFSBS(host.data(), nCount, c.front.data(), c.back.data(), &c.count, 1);
    return c;
}

TEST(ClassifyFSBS, PairingLimitsAreStrict) {
    CCompensation engine;
    // 0.02 - 0.01 is exactly 0.01 in binary, so the range test sits on its limit.
    std::vector<CVector> rangeOnLimit = {Measurement(100, 0.02, 0.0, 0.0),
                                         Measurement(200, 0.01, 0.0, 0.0)};
    Classified c = Classify(engine, rangeOnLimit, 2);
    EXPECT_EQ(c.count, 1);
    EXPECT_EQ(c.result, 1);  // one pair is too few
    EXPECT_EQ(rangeOnLimit[0].Quality, 18.0);
    EXPECT_EQ(c.front[0].Quality, 18.0);
    EXPECT_EQ(c.back[0].Quality, 18.0);
    EXPECT_EQ(c.back[0].Range, 0.02);  // the front sight stands in for its missing back sight
    EXPECT_EQ(rangeOnLimit[1].Quality, 99.0);

    std::vector<CVector> azimuthOnLimit = {Measurement(100, 5.0, 0.0, 0.0),
                                           Measurement(200, 5.0, kDegToRad, 0.0)};
    EXPECT_EQ(Classify(engine, azimuthOnLimit, 2).back[0].Quality, 18.0);

    const double justInside = std::nextafter(kDegToRad, 0.0);
    std::vector<CVector> inside = {Measurement(100, 5.0, 0.0, 0.0),
                                   Measurement(200, 5.0, justInside, -justInside)};
    c = Classify(engine, inside, 2);
    EXPECT_EQ(c.back[0].Azimuth, justInside);
    EXPECT_EQ(inside[0].Quality, 99.0);
}

TEST(ClassifyFSBS, EachBackSightIsTakenOnceAndOnlyForward) {
    CCompensation engine;
    // Two front sights of one target share one back sight: the first takes it.
    std::vector<CVector> twice = {Measurement(100, 5.0, 0.2, 0.1), Measurement(100, 5.0, 0.2, 0.1),
                                  Measurement(200, 5.0, 0.2, 0.1)};
    Classified c = Classify(engine, twice, 3);
    EXPECT_EQ(c.count, 2);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.back[0].Type, 200);
    EXPECT_EQ(twice[0].Quality, 99.0);
    EXPECT_EQ(twice[1].Quality, 18.0);

    // Back sights stored in the opposite order: the second front sight's back sight lies
    // before the first match and is never found.
    std::vector<CVector> swapped = {
        Measurement(100, 4.0, 0.3, 0.1), Measurement(100, 6.0, -0.8, 0.2),
        Measurement(200, 6.0, -0.8, 0.2), Measurement(200, 4.0, 0.3, 0.1)};
    c = Classify(engine, swapped, 4);
    EXPECT_EQ(c.back[0].Range, 4.0);
    EXPECT_EQ(swapped[1].Quality, 18.0);
}

TEST(ClassifyFSBS, SelectsFrontSightsByFaceAndTypeMagnitude) {
    CCompensation engine;
    std::vector<CVector> host = {Measurement(100, 4.0, 0.3, 0.1), Measurement(-100, 6.0, 0.5, 0.2),
                                 Measurement(-200, 6.0, 0.5, 0.2), Measurement(200, 4.0, 0.3, 0.1)};
    host[0].FSBS = 0;  // not set from its type: not a front sight to pair
    host[1].FSBS = 1;
    Classified c = Classify(engine, host, 4);
    ASSERT_EQ(c.count, 1);
    EXPECT_EQ(c.front[0].Type, -100);
    EXPECT_EQ(c.back[0].Type, -200);
    EXPECT_EQ(host[0].Quality, 99.0);
}

TEST(ClassifyFSBS, WritesTwoFaceRejectionsBack) {
    TraceCapture trace;
    CCompensation engine;
    std::vector<CVector> host;
    AppendView(host, kTwoTargets);
    AppendView(host, kTwoTargets);
    Classified c = Classify(engine, host, static_cast<int>(host.size()));
    ASSERT_EQ(c.count, 4);

    // The fits rejected the front sight of pair 1 (view 0, target 2) and the back sight of
    // pair 2 (view 1, target 1); pair 3's back sight was already dead in the host's array.
    c.front[1].Quality = 50.0;
    c.back[2].Quality = 50.0;
    c.back[3].Quality = 50.0;
    host[9].Quality = 18.0;
    const std::size_t mark = trace.Size();
    const int result = engine.ClassifyFSBS(host.data(), static_cast<int>(host.size()),
                                           c.front.data(), c.back.data(), &c.count, 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(c.count, 4);
    const std::vector<double> expected = {99, 99, 50, 99, 99, 99, 99, 99, 50, 18};
    for (std::size_t i = 0; i < host.size(); ++i) {
        EXPECT_EQ(host[i].Quality, expected[i]) << "vector " << i;
    }
    EXPECT_EQ(trace.Since(mark), "       nCount_fb = 4\n       Leaving ClassifyFSBS = 0\n");
}

TEST(ClassifyFSBS, WriteBackStaysInsideATruncatedArray) {
    CCompensation engine;
    std::vector<CVector> host;
    AppendView(host, kTwoTargets);
    AppendView(host, kTwoTargets);
    // The last back sight is missing: the array the host passes ends one vector early, and the
    // vector after it must not be touched.
    const int nCount = static_cast<int>(host.size()) - 1;
    Classified c = Classify(engine, host, nCount);
    ASSERT_EQ(c.count, 4);
    ASSERT_EQ(c.back[3].Quality, 18.0);
    const int result =
        engine.ClassifyFSBS(host.data(), nCount, c.front.data(), c.back.data(), &c.count, 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host[9].Quality, 99.0);

    // The same on an array that really ends there, for the address sanitizer to watch.
    std::vector<CVector> exact(host.begin(), host.begin() + nCount);
    c = Classify(engine, exact, nCount);
    c.back[3].Quality = 50.0;
    EXPECT_EQ(engine.ClassifyFSBS(exact.data(), nCount, c.front.data(), c.back.data(), &c.count, 0),
              0);
}

TEST(ClassifyFSBS, WriteBackRefusesPairArraysShorterThanTheHostsFrontSights) {
    CCompensation engine;
    std::vector<CVector> host;
    AppendView(host, kTwoTargets);
    std::vector<CVector> front(2), back(2);  // default qualities 0: every pair reads as rejected
    int pairs = 1;
    EXPECT_EQ(engine.ClassifyFSBS(host.data(), 5, front.data(), back.data(), &pairs, 0),
              kInvalidInput);
    for (const CVector& v : host) {
        EXPECT_EQ(v.Quality, 99.0);
    }
    EXPECT_EQ(pairs, 1);

    // A negative flag runs neither pass.
    pairs = 2;
    EXPECT_EQ(engine.ClassifyFSBS(host.data(), 5, front.data(), back.data(), &pairs, -1), 1);
    for (const CVector& v : host) {
        EXPECT_EQ(v.Quality, 99.0);
    }
}

}  // namespace
