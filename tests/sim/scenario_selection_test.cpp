// Every named scenario passes the selection checks its procedure runs, noise-free and with
// realistic reading noise: the azimuth coverage, the two-face pairing, the target pairs above
// the procedure's least count, the interball pair table, and the flying and check views.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/compensation.h"
#include "compensation_sim/simulator.h"

namespace compensation::sim {
namespace {

// Two micrometres in range and one microradian in angle: a good tracker's repeatability.
Options WithNoise(const Options& base) {
    Options options = base;
    options.noise.range = 2e-6;
    options.noise.angle = 1e-6;
    options.noise.seed = 11;
    return options;
}

// The least pair count the full procedures set before they classify pairs.
int MinCount(int nViews) {
    return nViews - 3 < 6 ? nViews : nViews - 3;
}

int UsablePairs(const std::vector<int>& table) {
    int usable = 0;
    for (int entry : table) {
        usable += entry == 0 ? 1 : 0;
    }
    return usable;
}

class ScenarioSelection : public ::testing::TestWithParam<bool> {
  protected:
    Scenario Make(const std::string& name, const Options& base = {}) {
        return MakeScenario(name, GetParam() ? WithNoise(base) : base);
    }

    // Pairs every front sight of the main array with its back sight.
    void ExpectAllPaired(Scenario& s, std::vector<CVector>& f, std::vector<CVector>& b) {
        f.resize(s.main.size() / 2);
        b.resize(s.main.size() / 2);
        int pairs = 0;
        EXPECT_EQ(engine_.ClassifyFSBS(s.main.data(), s.nCount(), f.data(), b.data(), &pairs, 1),
                  0);
        EXPECT_EQ(pairs, s.nViews * s.nTargets);
        for (const CVector& v : s.main) {
            EXPECT_EQ(v.Quality, 100.0);  // no front sight went unpaired (18.0)
        }
    }

    void ExpectPairsAboveMinCount(Scenario& s, int n1, int n2) {
        std::vector<CVector> pairs(static_cast<std::size_t>(2 * s.nViews));
        int count = 0;
        EXPECT_EQ(engine_.ClassifyPairs(s.main.data(), s.nCount(), pairs.data(), n1, n2, &count, 1),
                  0);
        EXPECT_EQ(count, s.nViews);
        EXPECT_GT(count, engine_.m_nMinCount);
    }

    CCompensation engine_;
};

TEST_P(ScenarioSelection, QuickPassesCoverageFrontBackAndInterball) {
    Scenario s = Make("quick");
    EXPECT_EQ(engine_.AcceptViews(s.main.data(), s.nCount(), 14, 7, s.nViews), 0);
    std::vector<CVector> f;
    std::vector<CVector> b;
    ExpectAllPaired(s, f, b);
    std::vector<int> table(static_cast<std::size_t>(s.nTargets * (s.nTargets - 1) / 2));
    EXPECT_EQ(engine_.ClassifyIBPairs(f.data(), table.data(), s.nTargets), 0);
    EXPECT_GT(UsablePairs(table), 24);
}

TEST_P(ScenarioSelection, FullPassesCoveragePairsAndInterball) {
    Scenario s = Make("full");
    EXPECT_EQ(engine_.AcceptViews(s.main.data(), s.nCount(), 14, 9, 8), 0);
    std::vector<CVector> f;
    std::vector<CVector> b;
    ExpectAllPaired(s, f, b);
    engine_.m_nMinCount = MinCount(s.nViews);
    ExpectPairsAboveMinCount(s, s.compOut.m_n1_x0y0, s.compOut.m_n2_x0y0);
    ExpectPairsAboveMinCount(s, s.compOut.m_n1_d2, s.compOut.m_n2_d2);
    // The full procedure builds its table from the host's array, reference vector first.
    std::vector<int> table(static_cast<std::size_t>(s.nTargets * (s.nTargets - 1) / 2));
    EXPECT_EQ(engine_.ClassifyIBPairs(s.main.data(), table.data(), s.nTargets), 0);
    EXPECT_GT(UsablePairs(table), 24);
}

TEST_P(ScenarioSelection, FullFullPassesEveryCheckInEveryMode) {
    for (int mode : {0, 1, 2}) {
        Options options;
        options.mode = mode;
        Scenario s = Make("fullfull", options);
        TCompOut out = s.compOut;
        std::vector<CVector> fly = s.flying;
        double gap = 0.0;
        EXPECT_EQ(
            engine_.AcceptFlyingAllViews(fly.data(), s.nTargetsFly, s.nCountFly(), &gap, &out), 0);
        const int inLineView = static_cast<int>(s.layout.fly_placements.size()) - 1;
        EXPECT_EQ(out.m_nInlineView, inLineView);
        fly = s.flying;
        EXPECT_EQ(engine_.AcceptFCKAllViews(fly.data(), s.nTargetsFly, s.nCountFly(), &gap, &out),
                  0);
        EXPECT_EQ(out.m_nInlineView, inLineView);
        EXPECT_EQ(engine_.AcceptFBBAllViews(s.flying.data(), s.nTargetsFly, s.nCountFly(), &gap),
                  0);

        std::vector<CVector> flyF(s.flying.size() / 2);
        std::vector<CVector> flyB(s.flying.size() / 2);
        int flyPairs = 0;
        EXPECT_EQ(engine_.ClassifyFSBS(s.flying.data(), s.nCountFly(), flyF.data(), flyB.data(),
                                       &flyPairs, 1),
                  0);
        EXPECT_EQ(flyPairs, s.nCountFly() / 2);

        EXPECT_EQ(engine_.AcceptViews(s.main.data(), s.nCount(), 14, 9, 8), 0);
        std::vector<CVector> f;
        std::vector<CVector> b;
        ExpectAllPaired(s, f, b);
        engine_.m_nMinCount = MinCount(s.nViews);
        ExpectPairsAboveMinCount(s, s.compOut.m_n1_x0y0, s.compOut.m_n2_x0y0);
        ExpectPairsAboveMinCount(s, s.compOut.m_n1_d2, s.compOut.m_n2_d2);
        ExpectPairsAboveMinCount(s, s.compOut.m_n1_extra, s.compOut.m_n2_extra);
        std::vector<int> table(static_cast<std::size_t>(s.nTargets * (s.nTargets - 1) / 2));
        EXPECT_EQ(engine_.ClassifyIBPairs(f.data(), table.data(), s.nTargets), 0);
        EXPECT_GT(UsablePairs(table), 24);

        // Both outside sets average, and the second one refines to within the spread limit.
        CVector averages[4];
        EXPECT_EQ(engine_.ClassifyOutside(s.outside1.data(), s.nCountOut1(), s.outside2.data(),
                                          s.nCountOut2(), averages),
                  0)
            << "mode " << mode;
    }
}

INSTANTIATE_TEST_SUITE_P(NoiseFreeAndNoisy, ScenarioSelection, ::testing::Bool());

}  // namespace
}  // namespace compensation::sim
