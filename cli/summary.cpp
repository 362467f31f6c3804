#include "summary.h"

#include <array>
#include <ostream>
#include <sstream>

namespace compensation::cli {

namespace {

// The thresholds as printed (micrometres or millidegrees) with their unit text.
struct PrintedLimits {
    double lower;
    double upper;
    const char* unit;
    double factor;
};

constexpr PrintedLimits kRange = {6.35, 25.4, " (micron) ", 1000000.0};
constexpr PrintedLimits kAngle = {0.1873571990077792, 0.7494287960311168, " (mdeg) ", 1000.0};
constexpr PrintedLimits kInterball = {12.7, 50.8, " (micron) ", 1000000.0};

enum class When { kAlways, kNotQuick, kFullOrMore, kFullFull, kModeTwoOnly };

struct Term {
    const char* label;
    double TCompOut::*field;
    When when;
    const PrintedLimits* limits;
};

constexpr std::array<Term, 12> kTerms = {{
    {" FSBS: std(R)  = ", &TCompOut::m_dStdR_fb, When::kAlways, &kRange},
    {" FSBS: std(Az)  = ", &TCompOut::m_dStdAz_fb, When::kAlways, &kAngle},
    {" FSBS: std(El)  = ", &TCompOut::m_dStdEl_fb, When::kAlways, &kAngle},
    {" std(IB_x0y0)  = ", &TCompOut::m_dStdx0y0, When::kNotQuick, &kInterball},
    {" std(IB_axay)  = ", &TCompOut::m_dStdaxay, When::kAlways, &kInterball},
    {" std(FS IB)  = ", &TCompOut::m_dStdInside_f_out, When::kAlways, &kInterball},
    {" std(IN)  = ", &TCompOut::m_dStd2, When::kFullOrMore, &kInterball},
    {" std(OUT)  = ", &TCompOut::m_dStdOutside, When::kFullOrMore, &kRange},
    {" std(ExtraIN)  = ", &TCompOut::m_dStdExtraIn, When::kFullFull, &kInterball},
    {" std(OUT)  = ", &TCompOut::m_dStdExtraOutside, When::kFullFull, &kRange},
    {" FBB FSBS: std(El)  = ", &TCompOut::m_dStdEl_fbb, When::kModeTwoOnly, &kAngle},
    {" std(FBB IB)  = ", &TCompOut::m_dStdIB_fbb, When::kModeTwoOnly, &kInterball},
}};

bool Shown(When when, int mode) {
    switch (when) {
        case When::kAlways:
            return true;
        case When::kNotQuick:
            return mode != 0;
        case When::kFullOrMore:
            return mode >= 1;
        case When::kFullFull:
            return mode >= 2;
        default:
            return mode == 2;
    }
}

const char* Header(int mode) {
    switch (mode) {
        case 0:
            return " QUICK COMP OUTPUT: ";
        case 1:
            return " FULL COMP OUTPUT: ";
        case 2:
            return " COMP COMP OUTPUT: ";
        case 3:
            return " EXP COMP OUTPUT: ";
        default:
            return nullptr;
    }
}

}  // namespace

std::string FormatSummary(const TCompOut& out, int nValidationMode) {
    // The default stream formatting (six significant digits), as the validation prints.
    std::ostringstream text;
    if (const char* header = Header(nValidationMode)) {
        text << header << std::endl << std::endl;
    }
    for (const Term& term : kTerms) {
        if (!Shown(term.when, nValidationMode)) {
            continue;
        }
        text << term.label << out.*term.field * term.limits->factor
             << "; LTH = " << term.limits->lower << "; UTH = " << term.limits->upper
             << term.limits->unit << std::endl
             << std::endl;
    }
    text << " CONFIDENCE = " << out.m_nConfidence << std::endl;
    return text.str();
}

}  // namespace compensation::cli
