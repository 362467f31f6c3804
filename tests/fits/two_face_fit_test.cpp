// The two-face fits on pairs whose calibrated face differences follow a chosen model exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "fits/fit_scenes.h"
#include "fits/two_face_fit.h"
#include "support/trace_dir.h"

namespace {

using namespace fit_scenes;

// Observations exact to 1e-16 rad against differences of 1e-5, amplified by up to 20 columns'
// conditioning: observed 2e-11 relative over 80 pairs, 6e-10 over the six-harmonic fit's bare 21.
constexpr double kRecoveryTolerance = 1e-9;
constexpr double kBareRecoveryTolerance = 5e-9;

// A term's difference (R_b - R_f, half dAz, half dEl), factor from the solved value to the stored
// unit (A2: half, the FBB cubic: 1) and column (c: sin k Az, cos -k Az, 1); held: handed back.
enum Type { kRange, kAzTan, kAzSec, kAz, kEl, kElSinH, kA2, kCubic, kHeldA2, kHeldSinH };

// clang-format off
struct Term {
    const char* group;
    double TMapper::*element;
    double value;  // stored unit
    Type type;
    int k;

    bool Held() const { return type == kHeldA2 || type == kHeldSinH; }
    int Difference() const { return type == kRange ? 0 : type <= kAz ? 1 : 2; }
    double Factor() const {
        const double r = kRadToDeg;
        const double factors[] = {1, r, r, r, r, r, r / 2, 1, r / 2, r / 2};
        return factors[type];
    }
    double Column(const CVector& f) const {
        const double h = 0.78539816339745 - 0.5 * f.Elevation;
        const double c = k == 0 ? 1.0 : k > 0 ? std::sin(k * f.Azimuth) : std::cos(k * f.Azimuth);
        const double range = k == 0 ? 2 * std::sin(2 * h) : 2 * (2 * std::sin(h) - 1) * c;
        const double columns[] = {range, std::tan(h) * c, -c / std::cos(h), c, c, std::sin(h), c,
                                  std::pow(f.Elevation, k), c, std::sin(h)};
        return columns[type];
    }
};

const Term kTerms[] = {
    {"D1", &TMapper::D1, 2e-5, kRange, 0},
    {"D2", &TMapper::D2_AzS, 8e-6, kRange, 1}, {"D2", &TMapper::D2_AzC, -6e-6, kRange, -1},
    {"A13", &TMapper::A1, 2.1e-3, kAzTan, 0}, {"A13", &TMapper::A3, -1.4e-3, kAzSec, 0},
    {"A13s", &TMapper::A1_2AzS, 3e-4, kAzTan, 2}, {"A13s", &TMapper::A1_2AzC, -2e-4, kAzTan, -2},
    {"A13s", &TMapper::A1_4AzS, 1.5e-4, kAzTan, 4}, {"A13s", &TMapper::A1_4AzC, -1e-4, kAzTan, -4},
    {"A13s", &TMapper::A3_2AzS, 2e-4, kAzSec, 2}, {"A13s", &TMapper::A3_2AzC, -1.8e-4, kAzSec, -2},
    {"A13s", &TMapper::A3_4AzS, 1.2e-4, kAzSec, 4}, {"A13s", &TMapper::A3_4AzC, -9e-5, kAzSec, -4},
    {"Az1", &TMapper::Az_AzS, 8e-4, kAz, 1}, {"Az1", &TMapper::Az_AzC, -5e-4, kAz, -1},
    {"Az3", &TMapper::Az_3AzS, 2e-4, kAz, 3}, {"Az3", &TMapper::Az_3AzC, -1.5e-4, kAz, -3},
    {"A2", &TMapper::A2, 1.2e-3, kA2, 0}, {"A2", &TMapper::El_ElS, 7e-4, kElSinH, 0},
    {"El2", &TMapper::El_2AzS, 4e-4, kEl, 2}, {"El2", &TMapper::El_2AzC, -3e-4, kEl, -2},
    {"El4", &TMapper::El_4AzS, 1.1e-4, kEl, 4}, {"El4", &TMapper::El_4AzC, -1.3e-4, kEl, -4},
    {"6th", &TMapper::A1_6AzS, 7e-5, kAzTan, 6}, {"6th", &TMapper::A1_6AzC, -6e-5, kAzTan, -6},
    {"6th", &TMapper::A3_6AzS, 5e-5, kAzSec, 6}, {"6th", &TMapper::A3_6AzC, -8e-5, kAzSec, -6},
    {"6th", &TMapper::Az_5AzS, 9e-5, kAz, 5}, {"6th", &TMapper::Az_5AzC, -4e-5, kAz, -5},
    {"6th", &TMapper::El_6AzS, 6e-5, kEl, 6}, {"6th", &TMapper::El_6AzC, -5e-5, kEl, -6},
    {"FBB", &TMapper::A2, 3e-4, kHeldA2, 0}, {"FBB", &TMapper::El_ElS, 0.0, kHeldSinH, 0},
    {"FBB", &TMapper::B_plus, 1e-5, kCubic, 1}, {"FBB", &TMapper::A_plus, -2e-5, kCubic, 2},
    {"FBB", &TMapper::C_plus, 1.5e-5, kCubic, 3}};
// clang-format on

struct Member {
    const char* name;
    int (CCompensation::*call)(CVector*, CVector*, TMapper*, int, TCompOut*, int);
    int azHarmonics;  // CalculateFFCFSBS's flag (only 1 adds the Az harmonics); -1: another fit
    std::string groups;
    bool clearedFirst;  // every fitted element is cleared before the range pass
    int minimumPairs, tooFew;
};
const Member kMembers[] = {
    {"QCFSBSa", &CCompensation::CalculateQCFSBSa, -1, "D1 A13 Az1 A2 El2", false, 10, 3},
    {"QCFSBS", &CCompensation::CalculateQCFSBS, -1, "D1 A13 A2", false, 1, 3},
    {"FFCFSBS", nullptr, 0, "D1 D2 A13 A13s A2 El2 El4", false, 21, 18},
    {"FFCFSBSAz", nullptr, 1, "D1 D2 A13 A13s Az1 Az3 A2 El2 El4", false, 21, 18},
    {"FFCFSBSFlag2", nullptr, 2, "D1 D2 A13 A13s A2 El2 El4", false, 21, 18},
    {"FCFSBS", &CCompensation::CalculateFCFSBS, -1, "D1 D2 A13 A13s A2 El2 El4", true, 21, 18},
    {"FFCFSBS6", &CCompensation::CalculateFFCFSBS6, -1, "D1 D2 A13 A13s Az1 Az3 A2 El2 El4 6th",
     false, 21, 18},
    {"FBBFSBS", &CCompensation::CalculateFBBFSBS, -1, "D1 FBB", false, 10, 3},
    {"EFCFSBS", &CCompensation::CalculateEFCFSBS, -1, "D1 A13 Az1 A2", false, 10, 3}};

std::vector<Term> TermsOf(const Member& m) {
    std::vector<Term> terms;
    for (const Term& t : kTerms) {
        if ((" " + m.groups + " ").find(" " + std::string(t.group) + " ") != std::string::npos) {
            terms.push_back(t);
        }
    }
    return terms;
}

// Every other term acts on a fit at a third of its value; the member's own at 0 or `chosen`.
TMapper Entry(const Member& m, bool chosen = false) {
    TMapper map{};
    for (const Term& t : kTerms) {
        map.*t.element = t.Held() ? map.*t.element : t.value / 3.0;
    }
    for (const Term& t : TermsOf(m)) {
        map.*t.element = t.Held() ? map.*t.element : chosen ? t.value : 0.0;
    }
    return map;
}

int Call(const Member& m, CVector* f, CVector* b, TMapper* map, int n, TCompOut* out, int flag) {
    CCompensation e;
    return m.call != nullptr ? (e.*m.call)(f, b, map, n, out, flag)
                             : e.CalculateFFCFSBS(f, b, map, n, out, flag, m.azHarmonics);
}

int Fit(const Member& m, std::vector<CVector>& p, TMapper& map, TCompOut& out, int flag) {
    const int n = static_cast<int>(p.size()) / 2;
    return Call(m, p.data(), p.data() + n, &map, n, &out, flag);
}

// Back sights solved (corrections are 1e-4 of a reading: twelve steps reach rounding) so that
// the range and data passes of a call from `entry` see exactly the terms.
std::vector<CVector> Build(
    const Member& m, const std::vector<Term>& terms, const TMapper& entry, int count,
    void (*shape)(CVector&) = [](CVector&) {}) {
    TMapper rangeMap = entry, dataMap = entry;
    for (const Term& t : terms) {
        rangeMap.*t.element = t.type == kRange || m.clearedFirst ? 0.0 : rangeMap.*t.element;
        dataMap.*t.element = t.type == kRange ? t.value : 0.0;
    }
    std::vector<CVector> pairs(2 * count);
    for (int i = 0; i < count; ++i) {
        CVector front;
        front.Quality = 100.0;
        front.Type = 100;
        front.Radian = true;
        front.Range = 2.0 + 8.0 * std::fmod(0.7 + i * 0.5698402909980532, 1.0);
        front.Azimuth = -3.14159 + 6.28318 * std::fmod(0.1 + i * 0.6180339887498949, 1.0);
        front.Elevation = -0.6 + 1.6 * std::fmod(0.3 + i * 0.7548776662466927, 1.0);
        shape(front);
        front.Sphr2Cart();
        CVector rf = front, df = front;
        rf.Calibrate(&rangeMap);
        df.Calibrate(&dataMap);
        double sum[3] = {};  // R_b - R_f, half dAz, half dEl
        for (const Term& t : terms) {
            sum[t.Difference()] += t.value / t.Factor() * t.Column(t.type == kRange ? rf : df);
        }
        CVector back = front;  // the host gives back sights in front-sight angles
        back.Type = 200;
        for (int step = 0; step < 12; ++step) {
            CVector rb = back, db = back;
            rb.Calibrate(&rangeMap);
            db.Calibrate(&dataMap);
            back.Range += rf.Range + sum[0] - rb.Range;
            back.Azimuth += df.Azimuth - 2.0 * sum[1] - db.Azimuth;
            back.Elevation += df.Elevation - 2.0 * sum[2] - db.Elevation;
        }
        back.Sphr2Cart();
        pairs[i] = front;
        pairs[count + i] = back;
    }
    return pairs;
}

void ExpectChosenModel(const Member& m, const TMapper& map, double tolerance = kRecoveryTolerance) {
    TMapper expected = Entry(m);
    for (const Term& t : TermsOf(m)) {
        if (!t.Held()) {
            EXPECT_NEAR(map.*t.element, t.value, tolerance * std::fabs(t.value));
            expected.*t.element = map.*t.element;
        }
    }
    EXPECT_TRUE(SameBits(expected, map));
}

// ctest and the test list show the member's name rather than its bytes.
void PrintTo(const Member& member, std::ostream* os) {
    *os << member.name;
}

class TwoFaceFit : public testing::TestWithParam<Member> {
  protected:
    const Member& m() const { return GetParam(); }
    std::vector<CVector> pairs_ = Build(m(), TermsOf(m()), Entry(m()), 80);
    TMapper map_ = Entry(m());
    TCompOut out_{};
};

TEST_P(TwoFaceFit, RecoversTheChosenModel) {
    EXPECT_EQ(Fit(m(), pairs_, map_, out_, 1), 2);
    ExpectChosenModel(m(), map_);
}

TEST_P(TwoFaceFit, SettlesOnTheChosenModelAndRejectsNothingThere) {
    map_ = Entry(m(), true);
    EXPECT_EQ(Fit(m(), pairs_, map_, out_, 1), 0);
    EXPECT_EQ(Fit(m(), pairs_, map_, out_, 0), 0);
    EXPECT_EQ(Marked(pairs_), 0);
}

// Entry values move the solution by under 1e-8 of a limit, so 10 % beyond a limit decides.
TEST_P(TwoFaceFit, AnElementMovedBeyondItsLimitIsNotSettled) {
    struct Case {
        const char* member;
        double TMapper::*element;
        double offset;
        int expected;
        double TMapper::*second;  // moved by -offset as well
    };
    const Case cases[] = {
        {"QCFSBSa", &TMapper::D1, 0.9 * kLength, 0, nullptr},
        {"QCFSBSa", &TMapper::D1, 1.1 * kLength, 2, nullptr},
        {"QCFSBS", &TMapper::A2, 1.1 * kAngle, 2, nullptr},
        {"FFCFSBS", &TMapper::D1, 1e-4, 0, &TMapper::A2},  // the full fits leave D1 and A2 out
        {"FFCFSBS", &TMapper::D2_AzC, 1.1 * kLength, 2, nullptr},
        {"FFCFSBSAz", &TMapper::Az_3AzC, 1.1 * kAngle, 2, nullptr},
        {"FCFSBS", &TMapper::A2, 1.1 * kAngle, 2, nullptr},  // FCFSBS tests them
        {"FFCFSBS6", &TMapper::El_6AzS, -1.1 * kAngle, 2, nullptr},
        {"FBBFSBS", &TMapper::B_plus, 1e-7, 2, &TMapper::A_plus},  // FBB: length of the change,
        {"FBBFSBS", &TMapper::B_plus, 1.2e-7, 0, nullptr},         // radians, against 1.308e-07
        {"EFCFSBS", &TMapper::El_ElS, 1.1 * kAngle, 2, nullptr},
    };
    for (const Case& c : cases) {
        if (std::string(c.member) == m().name) {
            map_ = Entry(m(), true);
            map_.*c.element += c.offset;
            if (c.second != nullptr) {
                map_.*c.second -= c.offset;
            }
            EXPECT_EQ(Fit(m(), pairs_, map_, out_, 1), c.expected) << c.offset;
        }
    }
}

// Pair 4 has the largest range difference, pairs 6 and 17 are one pair 200 um or more apart.
TEST_P(TwoFaceFit, RejectsTheFirstOfTheWorstPairs) {
    pairs_[17] = pairs_[6];
    pairs_[80 + 4].Range += 5.0e-5;
    pairs_[80 + 6].Elevation += 1.0e-4;
    pairs_[80 + 4].Sphr2Cart();
    pairs_[80 + 6].Sphr2Cart();
    pairs_[80 + 17] = pairs_[80 + 6];
    EXPECT_EQ(Fit(m(), pairs_, map_, out_, 0), 1);
    EXPECT_EQ(Marked(pairs_, 6, 7) + Marked(pairs_, 86, 87), 2);
    EXPECT_EQ(Marked(pairs_), 2);
}

TEST_P(TwoFaceFit, RefusesMissingRecordsAndArrays) {
    CVector* f = pairs_.data();
    out_ = Sentinel();
    EXPECT_EQ(Call(m(), f, f, nullptr, 10, &out_, 1), -1);
    EXPECT_EQ(Call(m(), f, f, &map_, 10, nullptr, 1), -1);
    EXPECT_EQ(Call(m(), nullptr, f, &map_, 10, &out_, 1), -1);
    EXPECT_EQ(Call(m(), f, nullptr, &map_, 10, &out_, 0), -1);
    EXPECT_TRUE(SameBits(map_, Entry(m())));
    EXPECT_TRUE(Untouched(out_));
}

// 50.0 is dead; 50.000001 is live, and the least pair count suffices. A full fit with too few
// still tests what it cleared.
TEST_P(TwoFaceFit, TooFewLivePairsGiveTheMembersCode) {
    out_ = Sentinel();
    EXPECT_EQ(Call(m(), pairs_.data(), pairs_.data(), &map_, 0, &out_, 1), m().tooFew);
    EXPECT_TRUE(Untouched(out_));
    if (m().minimumPairs == 1) {  // no two sin h more than 0.2 apart: no pair of pairs
        pairs_ = Build(m(), TermsOf(m()), map_, 25, [](CVector& v) { v.Elevation /= 8; });
        EXPECT_EQ(Fit(m(), pairs_, map_, out_, 1), 3);
        return;
    }
    pairs_ = Build(m(), TermsOf(m()), map_, std::max(m().minimumPairs, 10));
    pairs_[2 * m().minimumPairs - 1].Quality = 50.0;
    EXPECT_EQ(Fit(m(), pairs_, map_, out_, 0), m().tooFew);
    EXPECT_TRUE(Untouched(out_));
    map_.D2_AzC = 1.1 * kLength;
    EXPECT_EQ(Fit(m(), pairs_, map_, out_, 1), m().tooFew == 18 ? 2 : m().tooFew);
    pairs_[2 * m().minimumPairs - 1].Quality = 50.000001;
    map_ = Entry(m());
    EXPECT_EQ(Fit(m(), pairs_, map_, out_, 1), 2);
    ExpectChosenModel(m(), map_, kBareRecoveryTolerance);
}

// One range and elevation: proportional half-angle columns, the entry model stays, code 2.
TEST_P(TwoFaceFit, UndeterminedDataKeepTheEntryModel) {
    if (m().minimumPairs == 1) {
        GTEST_SKIP() << "the pair-of-pairs fit reports too few pairs instead";
    }
    TMapper chosen{};
    for (const Term& t : TermsOf(m())) {
        chosen.*t.element = t.value;
    }
    pairs_ =
        Build(m(), {kTerms[0]}, chosen, 40, [](CVector& v) { v.Range = 5.0, v.Elevation = 0.2; });
    for (int flag : {0, 1}) {
        map_ = chosen;
        out_ = Sentinel();
        EXPECT_EQ(Fit(m(), pairs_, map_, out_, flag), 2);
        EXPECT_TRUE(SameBits(map_, chosen));
        EXPECT_TRUE(Untouched(out_));
    }
}

INSTANTIATE_TEST_SUITE_P(Fits, TwoFaceFit, testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TwoFaceFits, PairOfPairsWritesItsEntryTraceLines) {
    compensation::testing::ScopedTraceDir dir;
    {
        const Member& pairOfPairs = kMembers[1];
        std::vector<CVector> pairs =
            Build(pairOfPairs, TermsOf(pairOfPairs), Entry(pairOfPairs), 12);
        pairs[0].Range = 2.5;
        pairs[12].Quality = 75.5;
        TMapper map = Entry(pairOfPairs);
        TCompOut out{};
        Fit(pairOfPairs, pairs, map, out, 1);
        CCompensation().CalculateQCFSBS(nullptr, nullptr, &map, 0, &out, 1);
    }
    const std::string trace = compensation::testing::ReadFile(dir.file());
    for (const char* lines :
         {"Entering CalculateQC \n   pVec_f \n       Quality   = 100.000000 \n"
          "       Range     = 2.500000 \n",
          "   pVec_b \n       Quality   = 75.500000 \n",
          "       Radian    = 1 \n       nCount_fb = 12\n",
          // With no pairs the vector lines carry only their titles.
          "Entering CalculateQC \n   pVec_f \n   pVec_b \n       nCount_fb = 0\n"}) {
        EXPECT_NE(trace.find(lines), std::string::npos) << lines << "\nin\n" << trace;
    }
}

// The slopes the run report's rows take of every design row and observation, against central
// differences of the functions themselves. Steps of 1e-5 rad leave a truncation of the third
// derivative (6^3 for the sixth harmonic, times tan h's growth) times 1e-10, below 1e-6.
TEST(TwoFaceSlopes, EveryRowAndObservationMovesAsItsSlopesSay) {
    using namespace compensation::detail::two_face;
    constexpr double kStep = 1e-5;
    constexpr double kTolerance = 1e-6;
    const struct {
        RowFunction row;
        int columns;
    } rows[] = {{UnitRow, 1},
                {HarmonicRangeRow, 3},
                {QuickAzimuthRow, 4},
                {HarmonicAzimuthRow, 10},
                {HarmonicAzimuthRow, 14},
                {HarmonicAzimuthRow, 20},
                {HarmonicElevationRow, 4},
                {HarmonicElevationRow, 6},
                {HarmonicElevationRow, 8},
                {ElevationSineRow, 2},
                {CubicElevationRow, 4}};
    const ObservationFunction observations[] = {HalfRangeDifferenceOverCosine, RangeBackMinusFront,
                                                AzimuthDifference, ElevationDifference};
    // Moves a pair's field; the elevation carries the half-angle with it.
    const auto moved = [](CalibratedPair pair, double CalibratedPair::*field, double by) {
        pair.*field += by;
        if (field == &CalibratedPair::elF) {
            pair.h -= 0.5 * by;
        }
        return pair;
    };
    for (const double azimuth : {0.3, 2.2, -2.6}) {
        for (const double elevation : {-0.4, 0.2, 1.1}) {
            CalibratedPair pair{};
            pair.dR = 2e-4;
            pair.dAz = -3e-5;
            pair.dEl = 4e-5;
            pair.azF = azimuth;
            pair.elF = elevation;
            pair.h = 0.25 * kPi - 0.5 * elevation;
            for (const auto& [row, columns] : rows) {
                double values[kMaxColumns];
                RowSlopes slopes{};
                row(pair, columns, values, &slopes);
                for (const auto& [field, slope] :
                     {std::pair{&CalibratedPair::azF, slopes.byAzimuth},
                      std::pair{&CalibratedPair::elF, slopes.byElevation}}) {
                    double up[kMaxColumns];
                    double down[kMaxColumns];
                    row(moved(pair, field, kStep), columns, up, nullptr);
                    row(moved(pair, field, -kStep), columns, down, nullptr);
                    for (int k = 0; k < columns; ++k) {
                        EXPECT_NEAR(slope[k], (up[k] - down[k]) / (2 * kStep), kTolerance)
                            << "column " << k << " of " << columns << " at " << azimuth << ", "
                            << elevation;
                    }
                }
            }
            for (const ObservationFunction observation : observations) {
                ObservationSlopes slopes{};
                observation(pair, &slopes);
                const std::pair<double CalibratedPair::*, double> expected[] = {
                    {&CalibratedPair::dR, slopes.byRangeDifference},
                    {&CalibratedPair::dAz, slopes.byAzimuthDifference},
                    {&CalibratedPair::dEl, slopes.byElevationDifference},
                    {&CalibratedPair::azF, slopes.byFrontAzimuth},
                    {&CalibratedPair::elF, slopes.byFrontElevation}};
                for (const auto& [field, slope] : expected) {
                    const double difference = (observation(moved(pair, field, kStep), nullptr) -
                                               observation(moved(pair, field, -kStep), nullptr)) /
                                              (2 * kStep);
                    EXPECT_NEAR(slope, difference, kTolerance);
                }
            }
        }
    }
}

}  // namespace
