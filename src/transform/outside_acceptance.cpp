// Acceptance of repeated measurements of the two outside targets.
//
// The placement predicts what the instrument must read on each target. Measurements that hit
// the first target followed by one that hits the second form a pair, and every pair gives one
// measured distance between the two targets. The spread of those distances is the repeatability
// of the outside test; their mean shows that the targets are far enough apart.
//
// The comparisons against the limits are written so that a non-finite distance (coordinates the
// host left undefined) fails them: such a series is never reported as accepted.
#include <cmath>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "compensation/transform.h"
#include "engine/trace_session.h"
#include "transform/transform_constants.h"

namespace {

using namespace compensation;

// True when v reads the predicted target: every tolerance strict, angles compared as stored.
bool Hits(const CVector& v, const CVector& predicted) {
    return std::fabs(v.Range - predicted.Range) < kOutsideRangeTolerance &&
           std::fabs(v.Azimuth - predicted.Azimuth) < kOutsideAngleTolerance &&
           std::fabs(v.Elevation - predicted.Elevation) < kOutsideAngleTolerance &&
           v.Quality > kLiveQuality;
}

struct MeasurementPair {
    int first;
    int second;
};

// Pairs each measurement of the first target with the next measurement of the second one; a
// measurement without such a partner is passed over and the scan goes on with the next one.
std::vector<MeasurementPair> FindPairs(const CVector* measurements, int count, const CVector& first,
                                       const CVector& second) {
    std::vector<MeasurementPair> pairs;
    int i = 0;
    while (i < count - 1) {
        int partner = -1;
        if (Hits(measurements[i], first)) {
            for (int j = i + 1; j < count; ++j) {
                if (Hits(measurements[j], second)) {
                    partner = j;
                    break;
                }
            }
        }
        if (partner < 0) {
            ++i;
            continue;
        }
        pairs.push_back({i, partner});
        i = partner + 1;
    }
    return pairs;
}

}  // namespace

// Arguments that cannot address their arrays (a missing array or record, a negative count or
// target number) give kInvalidInput before anything is written. The nominal array's length is
// not passed, so target numbers beyond its end cannot be detected here.
int CCompensation::AcceptOutside(CVector* pVecOut, int* pnCountOut, CVector* pVecNom,
                                 TRANSFORM_PARMS* pParms, TCompOut* pCompOut, int nNom1,
                                 int nNom2) try {
    const compensation::detail::TraceSession session(*this);
    if (pnCountOut == nullptr || pVecNom == nullptr || pParms == nullptr || pCompOut == nullptr ||
        *pnCountOut < 0 || (*pnCountOut > 0 && pVecOut == nullptr) || nNom1 < 0 || nNom2 < 0) {
        OutputTrace("Entering AcceptOutside", true);
        OutputTrace("Leaving AcceptOutside", kInvalidInput);
        return kInvalidInput;
    }
    const int n = *pnCountOut;

    OutputTrace("Entering AcceptOutside", true);
    OutputTrace("pVecOut", n > 0 ? pVecOut : nullptr);
    OutputTrace("pnCountOut", n);
    OutputTrace("pVecNom", pVecNom);
    OutputTrace("pParms", pParms);

    int status = 0;
    CTransform transform;
    const CVector first = *transform.GetNextVector(nNom1, pParms, pVecNom);
    const CVector second = *transform.GetNextVector(nNom2, pParms, pVecNom);

    const bool lowPair = (second.Elevation + first.Elevation) * 0.5 < kLowPairElevation;
    const double factor = lowPair ? kLowPairDistanceFactor : 1.0;

    std::vector<MeasurementPair> pairs = FindPairs(pVecOut, n, first, second);
    const int m = static_cast<int>(pairs.size());
    if (m < kMinOutsidePairs) {
        status = kOutsideTooFewPairs;
    } else {
        std::vector<double> distances(m);
        CVector ruler;
        for (int p = 0; p < m; ++p) {
            distances[p] =
                ruler.InterVectorRange(pVecOut[pairs[p].first], pVecOut[pairs[p].second]);
        }
        double mean = 0.0;
        double spread = 0.0;
        int worst = 0;
        MeanStdArray(distances.data(), m, &mean, &spread, &worst);
        pCompOut->m_dStdOutside = spread;

        if (!(mean >= kMinOutsideDistance * factor)) {
            status = kOutsideTooClose;
        }
        if (spread <= kQuarterThouInch) {
            if (status == 0) {
                *pnCountOut = 2 * m;
            }
        } else if (status == 0) {
            pairs[worst] = pairs[m - 1];
            distances[worst] = distances[m - 1];
            double meanAfter = 0.0;
            double spreadAfter = 0.0;
            int worstAfter = 0;
            MeanStdArray(distances.data(), m - 1, &meanAfter, &spreadAfter, &worstAfter);
            if (!lowPair) {
                pCompOut->m_dStdOutside = spreadAfter;
            } else {
                pCompOut->m_dStdExtraOutside = spreadAfter;
            }
            if (!(spreadAfter <= kRejectSpread)) {
                status = kOutsideSpreadAfterDrop;
            } else {
                *pnCountOut = 2 * (m - 1);
            }
        }
    }

    OutputTrace("pnCountOut", *pnCountOut);
    OutputTrace("pCompOut", pCompOut);
    OutputTrace("Leaving AcceptOutside", status);
    return status;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
