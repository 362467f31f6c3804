// The trace lines of the X0/Y0, D2 and Ax/Ay fits, byte for byte where they carry names.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "compensation/compensation.h"
#include "fits/pair_scenarios.h"

namespace {

constexpr int kVectorLines = 10;   // the CVector dump after its title
constexpr int kMapperLines = 22;   // the TMapper dump after its title
constexpr int kCompOutLines = 27;  // the TCompOut dump after its title

// An engine writing into a directory of its own, and the lines it wrote after its banner.
class TraceDirectory {
  public:
    TraceDirectory() {
        char pattern[] = "/tmp/pairfit_traceXXXXXX";
        dir_ = mkdtemp(pattern);
        previous_ =
            std::getenv("COMPENSATION_TRACE_DIR") ? std::getenv("COMPENSATION_TRACE_DIR") : "";
        setenv("COMPENSATION_TRACE_DIR", dir_.c_str(), 1);
    }
    ~TraceDirectory() {
        std::remove((dir_ + "/TraceFile.txt").c_str());
        rmdir(dir_.c_str());
        setenv("COMPENSATION_TRACE_DIR", previous_.c_str(), 1);
    }

    std::vector<std::string> LinesAfterBanner() const {
        std::ifstream in(dir_ + "/TraceFile.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        const std::size_t banner = 7;
        return lines.size() < banner
                   ? std::vector<std::string>{}
                   : std::vector<std::string>(lines.begin() + banner, lines.end());
    }

  private:
    std::string dir_;
    std::string previous_;
};

// One expected line, then the number of dump lines that follow it.
struct Expected {
    std::string line;
    int dumpLines;
};

void ExpectTrace(const std::vector<std::string>& lines, const std::vector<Expected>& expected) {
    std::size_t at = 0;
    for (const Expected& e : expected) {
        ASSERT_LT(at, lines.size()) << "missing " << e.line;
        EXPECT_EQ(lines[at], e.line);
        at += 1 + e.dumpLines;
    }
    EXPECT_EQ(at, lines.size());
}

// Each MeanStdArray call writes its entry line, the index line and its exit line.
std::vector<Expected> MeanStd(int worst) {
    return {{"Entering MeanStdArray ", 0},
            {"       pnOut = " + std::to_string(worst), 0},
            {"Leaving MeanStdArray ", 0}};
}

std::vector<Expected> Concat(std::vector<std::vector<Expected>> parts) {
    std::vector<Expected> all;
    for (auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

std::vector<CVector> Pairs(TMapper* truth, int outlier) {
    using compensation::testing::Point3;
    const Point3 a{0.4, 1.2, 2.5};
    const Point3 b{-0.3, -0.8, 7.0};
    std::vector<CVector> pairs = pairscenarios::SameTargetsFromViews(9, a, b, truth);
    std::vector<CVector> bad =
        pairscenarios::SameTargetsFromViews(9, a, pairscenarios::Lengthened(a, b, 2e-4), truth);
    pairs[2 * outlier] = bad[2 * outlier];
    pairs[2 * outlier + 1] = bad[2 * outlier + 1];
    return pairs;
}

// A settled call that rejects the outlier pair 2: its index is the one MeanStdArray reports.
TEST(PairFitTrace, X0Y0WritesItsArgumentsTheSpreadCallAndItsResult) {
    TMapper truth = pairscenarios::BackgroundModel();
    std::vector<CVector> pairs = Pairs(&truth, 2);
    TMapper map = truth;
    TCompOut out{};
    {
        CCompensation settling;
        settling.m_nMinCount = 6;
        settling.Calculate_x0y0(pairs.data(), 9, &map, &out, 1);
    }
    TraceDirectory trace;
    CCompensation engine;
    engine.m_nMinCount = 6;
    ASSERT_EQ(engine.Calculate_x0y0(pairs.data(), 9, &map, &out, 0), 22);

    const std::vector<std::string> lines = trace.LinesAfterBanner();
    ExpectTrace(lines, Concat({{{"Entering Calculate_x0y0 ", 0},
                                {"   pVec_x0y0 ", kVectorLines},
                                {"       nCount_x0y0 = 9", 0},
                                {"   pMap ", kMapperLines},
                                {"       nFlagClassify = 0", 0}},
                               MeanStd(2),
                               {{"   pMap ", kMapperLines},
                                {"   pCompOut ", kCompOutLines},
                                {"       Leaving Calculate_x0y0 = 22", 0}}}));
    ASSERT_GT(lines.size(), 3u);
    EXPECT_EQ(lines[2], "       Quality   = 99.000000 ");
}

TEST(PairFitTrace, AxAyWritesTheSameFrameUnderItsOwnNames) {
    TraceDirectory trace;
    CCompensation engine;
    engine.m_nMinCount = 20;
    TMapper truth = pairscenarios::BackgroundModel();
    std::vector<CVector> pairs = Pairs(&truth, 0);
    TMapper map = truth;
    TCompOut out{};
    ASSERT_EQ(engine.Calculate_axay(pairs.data(), 9, &map, &out, 1), 20);

    ExpectTrace(trace.LinesAfterBanner(), {{"Entering Calculate_axay ", 0},
                                           {"   pVec_axay ", kVectorLines},
                                           {"       nCount_axay = 9", 0},
                                           {"   pMap ", kMapperLines},
                                           {"       nFlagClassify = 1", 0},
                                           {"   pMap ", kMapperLines},
                                           {"   pCompOut ", kCompOutLines},
                                           {"       Leaving Calculate_axay = 20", 0}});
}

// Two spread calls: over the pairwise estimates (their worst index is not known beforehand, so
// only its label is checked) and over the corrected separations (the outlier d2 pair, 5).
TEST(PairFitTrace, D2WritesBothGroupsAndItsTwoSpreadCalls) {
    TraceDirectory trace;
    CCompensation engine;
    engine.m_nMinCount = 6;
    TMapper truth = pairscenarios::BackgroundModel();
    std::vector<CVector> d2 = Pairs(&truth, 5);
    std::vector<CVector> outside = pairscenarios::SameTargetsFromViews(
        4, {0.4, 1.2, 2.5}, {-0.3, -0.8, 7.0}, &truth, 0.3, {0.0, -1.5, -3.0}, 0.2);
    TMapper map = truth;
    map.D2 = 1e-4;  // far from the solution: the step moves it
    TCompOut out{};
    engine.Calculate_d2(outside.data(), 8, d2.data(), 9, &map, &out, 1);
    const std::vector<std::string> lines = trace.LinesAfterBanner();
    ASSERT_GT(lines.size(), 50u);
    const std::string firstWorst = lines[50];
    EXPECT_EQ(firstWorst.rfind("       pnOut = ", 0), 0u);
    ExpectTrace(lines, Concat({{{"Entering Calculate_d2 ", 0},
                                {"   pVecOut ", kVectorLines},
                                {"       nCountOut = 8", 0},
                                {"   pVec_d2 ", kVectorLines},
                                {"       nCount_d2 = 9", 0},
                                {"   pMap ", kMapperLines},
                                {"       nFlagClassify = 1", 0},
                                {"Entering MeanStdArray ", 0},
                                {firstWorst, 0},
                                {"Leaving MeanStdArray ", 0}},
                               MeanStd(5),
                               {{"   pMap ", kMapperLines},
                                {"   pCompOut ", kCompOutLines},
                                {"       Leaving Calculate_d2 = 27", 0}}}));
}

}  // namespace
