// Inside statistics: a rigid target network keeps every target-to-target distance constant
// from view to view, so the spread of the calibrated distances over the views measures what
// the model leaves unexplained.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"

namespace {

using namespace compensation;

// Quality floors: every measurement that was ever taken, or only those of high quality.
constexpr double kAnyQualityFloor = -50.0;
constexpr double kHighQualityFloor = 80.0;
// More distances than this are needed for a spread.
constexpr std::size_t kFewestDistances = 2;
using compensation::detail::kNoPairMeasured;

// Where each measurement of the inside statistics goes: by face, and by whether all
// measurements (flag 0) or only those of high quality (flag above 0) took part.
struct InsideFields {
    int nType;
    bool highQuality;
    double TCompOut::*spread;
    std::int32_t TCompOut::*count;
};

constexpr InsideFields kInsideFields[] = {
    {kTypeFrontSight, false, &TCompOut::m_dStdInside_f, &TCompOut::m_n_f},
    {kTypeBackSight, false, &TCompOut::m_dStdInside_b, &TCompOut::m_n_b},
    {kTypeFrontSight, true, &TCompOut::m_dStdInside_f_out, &TCompOut::m_n_f_out},
    {kTypeBackSight, true, &TCompOut::m_dStdInside_b_out, &TCompOut::m_n_b_out},
};

const InsideFields* FieldsFor(int nType, int nFlagUpdate) {
    if (nFlagUpdate < 0) {
        return nullptr;
    }
    for (const InsideFields& f : kInsideFields) {
        if (f.nType == nType && f.highQuality == (nFlagUpdate > 0)) {
            return &f;
        }
    }
    return nullptr;
}

struct InsideSpread {
    double sumOfSpreads = 0.0;
    int pairs = 0;
};

// Where the views start: the positions of the reference views, in array order.
std::vector<int> ViewStarts(const CVector* pVec, int nCount) {
    std::vector<int> starts;
    for (int k = 0; k < nCount; ++k) {
        if (pVec[k].Type == kTypeReferenceView) {
            starts.push_back(k);
        }
    }
    return starts;
}

// Distances between the targets at positions a and b of every view, one per view, at most
// `capacity` of them. A view that does not hold position b (a truncated last view) has none.
void CollectDistances(const CVector* pVec, int nCount, const std::vector<int>& viewStarts, int a,
                      int b, double floor, std::size_t capacity, std::vector<double>& distances) {
    distances.clear();
    for (const int k : viewStarts) {
        if (distances.size() >= capacity) {
            break;
        }
        if (b >= nCount - k) {
            continue;
        }
        const CVector& first = pVec[k + a];
        const CVector& second = pVec[k + b];
        if (first.Quality > floor && second.Quality > floor) {
            // CVector::InterVectorRange, summed in its order, without its two copies.
            const double dz = first.Z - second.Z;
            const double dy = first.Y - second.Y;
            const double dx = first.X - second.X;
            distances.push_back(std::sqrt(std::fabs(dz * dz + dy * dy + dx * dx)));
        }
    }
}

// Spread of every pair of positions whose targets in the first view have the type asked for
// and that more than two views measured. The views are found once, not once per pair.
InsideSpread MeasurePairs(CCompensation& engine, const CVector* pVec, int nCount, int groupSize,
                          int nType, double floor, std::size_t capacity) {
    InsideSpread inside;
    const std::vector<int> viewStarts = ViewStarts(pVec, nCount);
    std::vector<double> distances;
    distances.reserve(std::min(capacity, viewStarts.size()));
    for (int a = 1; a < groupSize; ++a) {
        for (int b = a + 1; b < groupSize; ++b) {
            if (pVec[a].Type != nType || pVec[b].Type != nType) {
                continue;
            }
            CollectDistances(pVec, nCount, viewStarts, a, b, floor, capacity, distances);
            if (distances.size() > kFewestDistances) {
                double mean = 0.0;
                double spread = 0.0;
                int farthest = 0;
                engine.MeanStdArray(distances.data(), static_cast<int>(distances.size()), &mean,
                                    &spread, &farthest);
                inside.sumOfSpreads += spread;
                ++inside.pairs;
            }
        }
    }
    return inside;
}

int CountUsed(const CVector* pVec, int nCount, int nType, double floor) {
    int used = 0;
    for (int i = 0; i < nCount; ++i) {
        if (pVec[i].Type == nType && pVec[i].Quality > floor) {
            ++used;
        }
    }
    return used;
}

}  // namespace

int CCompensation::StdInterball(CVector* pVecIn, int nCountIn, int nCountViews, int nType,
                                TCompOut* pCompOut, int nFlagUpdate) try {
    const compensation::detail::TraceSession session(*this);
    OutputTrace("Entering StdInterball", true);
    OutputTrace("pVecIn", nCountIn > 0 ? pVecIn : nullptr);
    OutputTrace("nCountIn", nCountIn);
    OutputTrace("nCountViews", nCountViews);
    OutputTrace("nType", nType);
    OutputTrace("nFlagUpdate", nFlagUpdate);

    int result = kNoPairMeasured;
    if (nCountViews < 1) {
        result = kInvalidInput;
    } else if (nCountIn / nCountViews > 1) {
        const double floor = nFlagUpdate > 0 ? kHighQualityFloor : kAnyQualityFloor;
        // One distance per view into a buffer of nCountViews; views beyond it are not collected.
        const InsideSpread inside =
            MeasurePairs(*this, pVecIn, nCountIn, nCountIn / nCountViews, nType, floor,
                         static_cast<std::size_t>(nCountViews));
        if (inside.pairs > 0) {
            result = 0;
            if (const InsideFields* f = FieldsFor(nType, nFlagUpdate)) {
                pCompOut->*f->spread = inside.sumOfSpreads / inside.pairs;
                pCompOut->*f->count = CountUsed(pVecIn, nCountIn, nType, floor);
            }
        }
    }

    OutputTrace("pCompOut", pCompOut);
    OutputTrace("Leaving StdInterball", result);
    return result;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
