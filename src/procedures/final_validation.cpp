// The final validation: how well the final model explains the measurements, condensed into the
// CONFIDENCE score and, on request, a summary on standard output.
#include <iostream>
#include <new>
#include <sstream>
#include <vector>

#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "procedures/confidence.h"

namespace {

using namespace compensation;

constexpr int kAllMeasurements = 0;
constexpr int kHighQualityOnly = 1;

}  // namespace

void CCompensation::FinalValidate(CVector* pVec, int nCount, int nCountViews, TMapper* pMap,
                                  TCompOut* pCompOut, int nMode, int nQuiet) try {
    const compensation::detail::TraceSession session(*this);
    const bool print = nQuiet == 0;
    const int weight = ConfidenceWeight(nMode);
    const char* header = SummaryHeader(nMode);
    if (print && header != nullptr) {
        std::cout << header << std::endl << std::endl;
    }

    int score = kConfidenceStart;
    for (const ConfidenceTerm& term : kConfidenceTerms) {
        if (term.measuredInside) {
            // The fits judged the model on their own working sets; the inside statistics
            // judge it on every calibrated measurement of the host's array.
            std::vector<CVector> calibrated(pVec, pVec + (nCount > 0 ? nCount : 0));
            for (CVector& measurement : calibrated) {
                measurement.Calibrate(pMap);
            }
            const int count = static_cast<int>(calibrated.size());
            for (const int quality : {kAllMeasurements, kHighQualityOnly}) {
                for (const int type : {kTypeFrontSight, kTypeBackSight}) {
                    StdInterball(calibrated.data(), count, nCountViews, type, pCompOut, quality);
                }
            }
        }
        if (!IsScored(term.when, nMode)) {
            continue;
        }
        const double spread = pCompOut->*term.field;
        score = ScoreSpread(score, spread, *term.thresholds, weight);
        if (print) {
            std::cout << SummaryLine(term, spread, std::cout.getloc()) << std::endl << std::endl;
        }
    }

    pCompOut->m_nConfidence = score;
    if (print) {
        std::ostringstream line;
        line.imbue(std::cout.getloc());
        line << " CONFIDENCE = " << score;
        std::cout << line.str() << std::endl;
    }
} catch (const std::bad_alloc&) {
    // No score without the calibrated copy of the measurements.
    if (pCompOut != nullptr) {
        pCompOut->m_nConfidence = 0;
    }
}
