// The two-face fits on front-sight/back-sight pairs whose calibrated face differences follow a
// chosen model exactly: each back sight is solved by fixed-point iteration (the corrections are
// 1e-4 of a reading, so twelve steps reach rounding) so that, under the fit's range-pass and
// data-pass models, R_b - R_f and half of Az_f - Az_b and El_f - El_b are the chosen sums of
// value / factor x column of the calibrated front sight.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "compensation/compensation.h"
#include "fits/fit_scenes.h"
#include "support/trace_dir.h"

namespace {

using fit_scenes::SameBits;
using fit_scenes::Sentinel;
using fit_scenes::Untouched;

constexpr double kRadToDeg = 57.29577951308232;
constexpr double kLength = 5.08e-07;              // change limit, m
constexpr double kAngle = 7.494287960311168e-06;  // change limit, degrees
// Observations exact to ~1e-16 rad (1e-15 m) against face differences of 1e-5, amplified by the
// conditioning of up to 20 columns: observed 2e-11 relative over 80 pairs, 6e-10 over the bare
// 21 of the six-harmonic fit.
constexpr double kRecoveryTolerance = 1e-9;
constexpr double kBareRecoveryTolerance = 5e-9;

// Each term's difference, documented factor from the solved value (rad, m) to the stored unit,
// and column in the half-angle h, Az and El (c: sin k Az, or cos -k Az, 1 for k = 0):
//   kRange: R_b - R_f, 1, 2 sin 2h (D1) or 2 (2 sin h - 1) c (D2_AzS/C);
//   kAzTan, kAzSec, kAz: half dAz, kRadToDeg, c tan h, -c / cos h, c;
//   kEl, kElSinH: half dEl, kRadToDeg, c, sin h;  kA2: half dEl, kRadToDeg / 2 (2 A2 in El), c;
//   kCubic: half dEl, 1 (the FBB fit stores half of each cubic coefficient), El^k;
//   kHeldA2, kHeldSinH: as kA2 and kElSinH, but handed back by the FBB fit.
enum Type { kRange, kAzTan, kAzSec, kAz, kEl, kElSinH, kA2, kCubic, kHeldA2, kHeldSinH };

struct Term {
    const char* group;
    double TMapper::*element;
    double value;  // stored unit
    Type type;
    int k;

    bool Held() const { return type == kHeldA2 || type == kHeldSinH; }
    int Difference() const { return type == kRange ? 0 : type <= kAz ? 1 : 2; }
    double Factor() const {
        return type == kRange || type == kCubic ? 1.0
               : type == kA2 || type == kHeldA2 ? kRadToDeg / 2
                                                : kRadToDeg;
    }
    double Column(const CVector& f) const {
        const double h = 0.78539816339745 - 0.5 * f.Elevation;
        const double c = k == 0 ? 1.0 : k > 0 ? std::sin(k * f.Azimuth) : std::cos(k * f.Azimuth);
        switch (type) {
            case kRange:
                return k == 0 ? 2 * std::sin(2 * h) : 2 * (2 * std::sin(h) - 1) * c;
            case kAzTan:
                return std::tan(h) * c;
            case kAzSec:
                return -c / std::cos(h);
            case kElSinH:
            case kHeldSinH:
                return std::sin(h);
            case kCubic:
                return std::pow(f.Elevation, k);
            default:
                return c;
        }
    }
};

// clang-format off
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
    {"FFCFSBS Az", nullptr, 1, "D1 D2 A13 A13s Az1 Az3 A2 El2 El4", false, 21, 18},
    {"FFCFSBS flag 2", nullptr, 2, "D1 D2 A13 A13s A2 El2 El4", false, 21, 18},
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

// Every term at a third of its chosen value: a fit must find its own with all the others
// acting, and never write them; its own at 0 (or `chosen`, at their values; held ones kept).
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

CVector Reading(int type, double range, double azimuth, double elevation) {
    CVector v;
    v.Quality = 100.0;
    v.Range = range;
    v.Azimuth = azimuth;
    v.Elevation = elevation;
    v.Type = type;
    v.Radian = true;
    v.Sphr2Cart();
    return v;
}

int Call(const Member& m, CVector* f, CVector* b, TMapper* map, int n, TCompOut* out, int flag) {
    CCompensation e;
    return m.call != nullptr ? (e.*m.call)(f, b, map, n, out, flag)
                             : e.CalculateFFCFSBS(f, b, map, n, out, flag, m.azHarmonics);
}

struct Pairs {
    std::vector<CVector> front;
    std::vector<CVector> back;
    int Fit(const Member& m, TMapper& map, TCompOut& out, int flag) {
        return Call(m, front.data(), back.data(), &map, static_cast<int>(front.size()), &out, flag);
    }
};

// Front sights over the azimuth circle, elevations from -0.6 to 1.0 rad and ranges from 2 to
// 10 m (low-discrepancy sequences, or as `shape` makes them), back sights for `terms` and
// a call from `entry`.
Pairs Build(const Member& m, const std::vector<Term>& terms, const TMapper& entry, int count,
            void (*shape)(CVector&) = nullptr) {
    TMapper rangeMap = entry;
    TMapper dataMap = entry;
    for (const Term& t : terms) {
        rangeMap.*t.element = t.type == kRange || m.clearedFirst ? 0.0 : rangeMap.*t.element;
        dataMap.*t.element = t.type == kRange ? t.value : 0.0;
    }
    Pairs pairs;
    for (int i = 0; i < count; ++i) {
        CVector front = Reading(100, 2.0 + 8.0 * std::fmod(0.7 + i * 0.5698402909980532, 1.0),
                                -3.14159 + 6.28318 * std::fmod(0.1 + i * 0.6180339887498949, 1.0),
                                -0.6 + 1.6 * std::fmod(0.3 + i * 0.7548776662466927, 1.0));
        if (shape != nullptr) {
            shape(front);
            front.Sphr2Cart();
        }
        CVector rf = front;
        CVector df = front;
        rf.Calibrate(&rangeMap);
        df.Calibrate(&dataMap);
        double sum[3] = {};  // R_b - R_f, half dAz, half dEl
        for (const Term& t : terms) {
            sum[t.Difference()] += t.value / t.Factor() * t.Column(t.type == kRange ? rf : df);
        }
        CVector back = Reading(200, front.Range, front.Azimuth, front.Elevation);
        for (int step = 0; step < 12; ++step) {
            CVector rb = back;
            CVector db = back;
            rb.Calibrate(&rangeMap);
            db.Calibrate(&dataMap);
            back.Range += rf.Range + sum[0] - rb.Range;
            back.Azimuth += df.Azimuth - 2.0 * sum[1] - db.Azimuth;
            back.Elevation += df.Elevation - 2.0 * sum[2] - db.Elevation;
        }
        back.Sphr2Cart();
        pairs.front.push_back(front);
        pairs.back.push_back(back);
    }
    return pairs;
}

// The chosen values where the member fits, the entry's bits everywhere else.
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

// One call from the model without the member's elements writes the chosen values; clean data
// reject nothing; a call from the chosen values settles. Then pair 4 gets the largest range
// difference (50 um) and pairs 6 and 17, one front sight, the same gross back sight (1e-4 rad
// in elevation, 200 um or more apart): every member rejects the first of the two farthest (the
// FBB fit ranks by the elevation difference, where pair 6 leads too), both faces at 50.0.
TEST(TwoFaceFits, RecoverTheChosenModelSettleOnItAndRejectTheFirstWorstPair) {
    for (const Member& m : kMembers) {
        SCOPED_TRACE(m.name);
        Pairs pairs = Build(m, TermsOf(m), Entry(m), 80);
        TMapper map = Entry(m);
        TCompOut out{};
        EXPECT_EQ(pairs.Fit(m, map, out, 1), 2);
        ExpectChosenModel(m, map);
        EXPECT_EQ(pairs.Fit(m, map, out, 0), 0);
        map = Entry(m, true);
        EXPECT_EQ(pairs.Fit(m, map, out, 1), 0);

        pairs.front[17] = pairs.front[6];
        pairs.back[4].Range += 5.0e-5;
        pairs.back[6].Elevation += 1.0e-4;
        pairs.back[4].Sphr2Cart();
        pairs.back[6].Sphr2Cart();
        pairs.back[17] = pairs.back[6];
        map = Entry(m);
        EXPECT_EQ(pairs.Fit(m, map, out, 0), 1);
        for (std::size_t i = 0; i < pairs.front.size(); ++i) {
            EXPECT_EQ(pairs.front[i].Quality, i == 6 ? 50.0 : 100.0) << i;
            EXPECT_EQ(pairs.back[i].Quality, i == 6 ? 50.0 : 100.0) << i;
        }
    }
}

// From the chosen values, elements just inside or outside their limit decide the code; each
// member's set and norm differ. Entry values move the range pass's elevations by ~1e-7 rad,
// which moves the solution by less than 1e-8 of a limit.
TEST(TwoFaceFits, ConvergenceLimitsOfEachMember) {
    struct Case {
        int member;
        double TMapper::*element;
        double offset;
        int expected;
        double TMapper::*second;  // moved by -offset as well
    };
    const Case cases[] = {
        {0, &TMapper::D1, 0.9 * kLength, 0, nullptr},  // QCFSBSa
        {0, &TMapper::D1, 1.1 * kLength, 2, nullptr},
        {0, &TMapper::El_2AzC, 1.1 * kAngle, 2, nullptr},
        {1, &TMapper::El_ElS, -0.9 * kAngle, 0, nullptr},  // QCFSBS
        {1, &TMapper::A2, 1.1 * kAngle, 2, nullptr},
        {2, &TMapper::D1, 1e-4, 0, &TMapper::A2},  // the full fits leave D1 and A2 out
        {2, &TMapper::D2_AzC, 1.1 * kLength, 2, nullptr},
        {3, &TMapper::Az_3AzC, 1.1 * kAngle, 2, nullptr},
        {5, &TMapper::D1, 1.1 * kLength, 2, nullptr},  // FCFSBS tests them
        {5, &TMapper::A2, 1.1 * kAngle, 2, nullptr},
        {6, &TMapper::A3_6AzC, 0.9 * kAngle, 0, nullptr},  // FFCFSBS6
        {6, &TMapper::El_6AzS, -1.1 * kAngle, 2, nullptr},
        // The FBB cubic settles by the length of its change in radians, limit 1.308e-07.
        {7, &TMapper::B_plus, 1e-7, 2, &TMapper::A_plus},
        {7, &TMapper::B_plus, 1.2e-7, 0, nullptr},
        {8, &TMapper::El_ElS, 1.1 * kAngle, 2, nullptr},  // EFCFSBS
    };
    for (const Case& c : cases) {
        const Member& m = kMembers[c.member];
        Pairs pairs = Build(m, TermsOf(m), Entry(m), 80);
        TMapper map = Entry(m, true);
        map.*c.element += c.offset;
        if (c.second != nullptr) {
            map.*c.second -= c.offset;
        }
        TCompOut out{};
        EXPECT_EQ(pairs.Fit(m, map, out, 1), c.expected) << m.name << " " << c.offset;
    }
}

// Missing records or arrays: -1 before anything is written. Too few live pairs (9 of 10, 20 of
// 21: one face at exactly 50.0 is dead): the member's code and no spread; a full fit's
// convergence call still reports a range element cleared by more than its limit. All pairs at
// one range and elevation (no D2 harmonics to tilt them): the half-angle columns are
// proportional, and the entry model stays bit for bit (finite) with the not-converged code.
TEST(TwoFaceFits, ResultCodesOfBadInputTooFewPairsAndOneElevation) {
    for (const Member& m : kMembers) {
        SCOPED_TRACE(m.name);
        const TMapper entry = Entry(m);
        Pairs pairs = Build(m, TermsOf(m), entry, m.minimumPairs == 1 ? 25 : m.minimumPairs);
        CVector* f = pairs.front.data();
        TMapper map = entry;
        TCompOut out = Sentinel();
        EXPECT_EQ(Call(m, f, f, nullptr, 10, &out, 1), -1);
        EXPECT_EQ(Call(m, f, f, &map, 10, nullptr, 1), -1);
        EXPECT_EQ(Call(m, nullptr, f, &map, 10, &out, 1), -1);
        EXPECT_EQ(Call(m, f, nullptr, &map, 10, &out, 0), -1);
        EXPECT_TRUE(SameBits(map, entry));
        if (m.minimumPairs == 1) {
            // The pair-of-pairs fit needs two pairs whose sin h differ by more than 0.2:
            // elevations within 0.2 rad give none.
            pairs = Build(m, TermsOf(m), entry, 25,
                          [](CVector& v) { v.Elevation = 0.1 + v.Elevation / 8; });
            EXPECT_EQ(pairs.Fit(m, map, out, 1), 3);
            EXPECT_TRUE(Untouched(out));
            continue;
        }
        pairs.back[m.minimumPairs / 2].Quality = 50.0;
        EXPECT_EQ(pairs.Fit(m, map, out, 0), m.tooFew);
        EXPECT_TRUE(Untouched(out));
        for (double factor : {0.9, 1.1}) {
            map = entry;
            map.D2_AzC = factor * kLength;
            EXPECT_EQ(pairs.Fit(m, map, out, 1), m.tooFew == 18 && factor > 1 ? 2 : m.tooFew);
        }
        pairs.back[m.minimumPairs / 2].Quality = 50.000001;
        map = entry;
        EXPECT_EQ(pairs.Fit(m, map, out, 1), 2);
        ExpectChosenModel(m, map, kBareRecoveryTolerance);

        std::vector<Term> terms;
        TMapper chosen{};
        for (const Term& t : TermsOf(m)) {
            if (t.type != kRange || t.element == &TMapper::D1) {
                terms.push_back(t);
                chosen.*t.element = t.value;
            }
        }
        pairs = Build(m, terms, chosen, 40, [](CVector& v) { v.Range = 5.0, v.Elevation = 0.2; });
        for (int flag : {0, 1}) {
            map = chosen;
            out = Sentinel();
            EXPECT_EQ(pairs.Fit(m, map, out, flag), 2);
            EXPECT_TRUE(SameBits(map, chosen));
            EXPECT_TRUE(Untouched(out));
        }
    }
}

TEST(TwoFaceFits, PairOfPairsWritesItsEntryTraceLines) {
    compensation::testing::ScopedTraceDir dir;
    {
        Pairs pairs = Build(kMembers[1], TermsOf(kMembers[1]), Entry(kMembers[1]), 12);
        pairs.front[0].Range = 2.5;
        pairs.back[0].Quality = 75.5;
        TMapper map = Entry(kMembers[1]);
        TCompOut out{};
        pairs.Fit(kMembers[1], map, out, 1);
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

}  // namespace
