// Inside statistics: a rigid target network keeps every target-to-target distance constant
// from view to view, so the spread of the calibrated distances over the views measures what
// the model leaves unexplained.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_session.h"
#include "model/vec3.h"

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
    int type;
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

const InsideFields* FieldsFor(int type, int flag) {
    for (const InsideFields& fields : kInsideFields) {
        if (flag >= 0 && fields.type == type && fields.highQuality == (flag > 0)) {
            return &fields;
        }
    }
    return nullptr;
}

struct InsideSpread {
    double sumOfSpreads = 0.0;
    int pairs = 0;
};

// Where the views start: the positions of the reference views, in array order.
std::vector<int> ViewStarts(const CVector* vectors, int count) {
    std::vector<int> starts;
    for (int viewStart = 0; viewStart < count; ++viewStart) {
        if (vectors[viewStart].Type == kTypeReferenceView) {
            starts.push_back(viewStart);
        }
    }
    return starts;
}

// Distances between the targets at the two positions of every view, one per view, at most
// `capacity` of them. A view that does not hold the second position (a truncated last view) has
// none.
void CollectDistances(const CVector* vectors, int count, const std::vector<int>& viewStarts,
                      int firstPosition, int secondPosition, double floor, std::size_t capacity,
                      std::vector<double>& distances) {
    distances.clear();
    for (const int viewStart : viewStarts) {
        if (distances.size() >= capacity) {
            break;
        }
        if (secondPosition >= count - viewStart) {
            continue;
        }
        const CVector& first = vectors[viewStart + firstPosition];
        const CVector& second = vectors[viewStart + secondPosition];
        if (first.Quality > floor && second.Quality > floor) {
            distances.push_back(DistanceBetween(first, second));
        }
    }
}

// Spread of every pair of positions whose targets in the first view have the type asked for
// and that more than two views measured. The views are found once, not once per pair.
InsideSpread MeasurePairs(CCompensation& engine, const CVector* vectors, int count, int groupSize,
                          int type, double floor, std::size_t capacity) {
    InsideSpread inside;
    const std::vector<int> viewStarts = ViewStarts(vectors, count);
    std::vector<double> distances;
    distances.reserve(std::min(capacity, viewStarts.size()));
    for (int firstPosition = 1; firstPosition < groupSize; ++firstPosition) {
        for (int secondPosition = firstPosition + 1; secondPosition < groupSize; ++secondPosition) {
            if (vectors[firstPosition].Type != type || vectors[secondPosition].Type != type) {
                continue;
            }
            CollectDistances(vectors, count, viewStarts, firstPosition, secondPosition, floor,
                             capacity, distances);
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

int CountUsed(const CVector* vectors, int count, int type, double floor) {
    int used = 0;
    for (int i = 0; i < count; ++i) {
        if (vectors[i].Type == type && vectors[i].Quality > floor) {
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
            if (const InsideFields* fields = FieldsFor(nType, nFlagUpdate)) {
                pCompOut->*fields->spread = inside.sumOfSpreads / inside.pairs;
                pCompOut->*fields->count = CountUsed(pVecIn, nCountIn, nType, floor);
            }
        }
    }

    OutputTrace("pCompOut", pCompOut);
    OutputTrace("Leaving StdInterball", result);
    return result;
} catch (const std::bad_alloc&) {
    return compensation::kOutOfMemory;
}
