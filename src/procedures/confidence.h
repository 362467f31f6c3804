// The CONFIDENCE score: every spread that the fits and evaluators left in the result record is
// held against a lower threshold (as good as the instrument can be) and an upper one (four
// times that, the most a usable compensation may show).
#ifndef COMPENSATION_PROCEDURES_CONFIDENCE_H
#define COMPENSATION_PROCEDURES_CONFIDENCE_H

#include <cmath>
#include <locale>
#include <sstream>
#include <string>

#include "compensation/records.h"
#include "engine/constants.h"

namespace compensation {

// The score every validation starts from, and the level to which a spread beyond its upper
// threshold drops it; a score at or below that level never rises again.
inline constexpr int kConfidenceStart = 50;
inline constexpr int kConfidenceFloor = 12;

// Points per term by validation mode, so that a mode's terms at their best reach 100 (quick:
// five terms of 10; full-full without flying views: ten of 5) or 98 (full: eight of 6;
// full-full with flying views: twelve of 4).
inline constexpr int kQuickWeight = 10;
inline int ConfidenceWeight(int nMode) {
    constexpr int kWeights[] = {kQuickWeight, 6, 4, 5};
    return nMode >= 1 && nMode <= 3 ? kWeights[nMode] : kQuickWeight;
}

// A spread's thresholds and how the summary shows them. The reciprocal of the lower threshold
// is stored as the instrument has always applied it.
struct SpreadThresholds {
    double lower;
    double upper;
    double inverseLower;
    double printFactor;
    double printedLower;
    double printedUpper;
    const char* unit;
};

// Two-face range spread: a quarter of a thousandth of an inch.
inline constexpr SpreadThresholds kTwoFaceRangeThresholds = {
    6.35e-06, 2.54e-05, 157480.3149606299, 1000000.0, 6.35, 25.4, " (micron) "};
// Two-face angular spreads (degrees), 3.27e-06 rad.
inline constexpr SpreadThresholds kTwoFaceAngleThresholds = {
    kTwoFaceSpreadDeg,  0.0007494287960311168, 5337.398324141681, 1000.0,
    0.1873571990077792, 0.7494287960311168,    " (mdeg) "};
// Distance spreads between targets: half a thousandth of an inch.
inline constexpr SpreadThresholds kDistanceThresholds = {
    kRejectSpread, 5.08e-05, 78740.15748031496, 1000000.0, 12.7, 50.8, " (micron) "};

// One scoring step. A spread beyond the upper threshold, or one that is not a number at all,
// drops the score to the floor, or by one point once it is there. Within the thresholds a
// spread at or below the lower one earns the full weight, and one above it a point less for
// every lower threshold's worth it exceeds that by.
inline int ScoreSpread(int score, double spread, const SpreadThresholds& t, int weight) {
    if (!std::isfinite(spread) || spread > t.upper) {
        return score > kConfidenceFloor ? kConfidenceFloor : score - 1;
    }
    if (score <= kConfidenceFloor) {
        return score;
    }
    if (spread <= t.lower) {
        return score + weight;
    }
    // spread - lower is at most three lower thresholds here, so the cut fits an int.
    const double excess = std::trunc(weight * (spread - t.lower) * t.inverseLower);
    return score + weight - 1 - static_cast<int>(excess);
}

// Which validation modes score a term.
enum class TermScoredIn { kAllModes, kAllButQuick, kFullModes, kFullFullModes, kFlyingFbbMode };

inline bool IsScored(TermScoredIn when, int nMode) {
    switch (when) {
        case TermScoredIn::kAllModes:
            return true;
        case TermScoredIn::kAllButQuick:
            return nMode != 0;
        case TermScoredIn::kFullModes:
            return nMode >= 1;
        case TermScoredIn::kFullFullModes:
            return nMode >= 2;
        case TermScoredIn::kFlyingFbbMode:
            return nMode == 2;
    }
    return false;
}

struct ConfidenceTerm {
    const char* label;
    double TCompOut::*field;
    TermScoredIn when;
    const SpreadThresholds* thresholds;
    // The inside statistics are measured on the final model just before this term.
    bool measuredInside;
};

inline constexpr ConfidenceTerm kConfidenceTerms[] = {
    {" FSBS: std(R)  = ", &TCompOut::m_dStdR_fb, TermScoredIn::kAllModes, &kTwoFaceRangeThresholds,
     false},
    {" FSBS: std(Az)  = ", &TCompOut::m_dStdAz_fb, TermScoredIn::kAllModes,
     &kTwoFaceAngleThresholds, false},
    {" FSBS: std(El)  = ", &TCompOut::m_dStdEl_fb, TermScoredIn::kAllModes,
     &kTwoFaceAngleThresholds, false},
    {" std(IB_x0y0)  = ", &TCompOut::m_dStdx0y0, TermScoredIn::kAllButQuick, &kDistanceThresholds,
     false},
    {" std(IB_axay)  = ", &TCompOut::m_dStdaxay, TermScoredIn::kAllModes, &kDistanceThresholds,
     false},
    {" std(FS IB)  = ", &TCompOut::m_dStdInside_f_out, TermScoredIn::kAllModes,
     &kDistanceThresholds, true},
    {" std(IN)  = ", &TCompOut::m_dStd2, TermScoredIn::kFullModes, &kDistanceThresholds, false},
    {" std(OUT)  = ", &TCompOut::m_dStdOutside, TermScoredIn::kFullModes, &kTwoFaceRangeThresholds,
     false},
    {" std(ExtraIN)  = ", &TCompOut::m_dStdExtraIn, TermScoredIn::kFullFullModes,
     &kDistanceThresholds, false},
    {" std(OUT)  = ", &TCompOut::m_dStdExtraOutside, TermScoredIn::kFullFullModes,
     &kTwoFaceRangeThresholds, false},
    {" FBB FSBS: std(El)  = ", &TCompOut::m_dStdEl_fbb, TermScoredIn::kFlyingFbbMode,
     &kTwoFaceAngleThresholds, false},
    {" std(FBB IB)  = ", &TCompOut::m_dStdIB_fbb, TermScoredIn::kFlyingFbbMode,
     &kDistanceThresholds, false},
};

// The summary's header for a validation mode; other modes print none.
inline const char* SummaryHeader(int nMode) {
    constexpr const char* kHeaders[] = {
        " QUICK COMP OUTPUT: ", " FULL COMP OUTPUT: ", " COMP COMP OUTPUT: ", " EXP COMP OUTPUT: "};
    return nMode >= 0 && nMode <= 3 ? kHeaders[nMode] : nullptr;
}

// One summary line: the spread and the thresholds as printed, in the stream's default
// formatting (six significant digits) whatever precision or flags the host has set on
// std::cout, so the line is formed on a fresh stream. The numbers follow `locale`, the locale
// of the stream the line goes to (std::cout's for the library), never the process's global
// locale, which a fresh stream would otherwise take.
inline std::string SummaryLine(const ConfidenceTerm& term, double spread,
                               const std::locale& locale) {
    const SpreadThresholds& t = *term.thresholds;
    std::ostringstream line;
    line.imbue(locale);
    line << term.label << spread * t.printFactor << "; LTH = " << t.printedLower
         << "; UTH = " << t.printedUpper << t.unit;
    return line.str();
}

}  // namespace compensation

#endif  // COMPENSATION_PROCEDURES_CONFIDENCE_H
