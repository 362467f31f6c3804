// Small measurement arrays in the host's layout, and the trace that one operation appends.
#ifndef COMPENSATION_TESTS_SELECTION_TEST_SUPPORT_H
#define COMPENSATION_TESTS_SELECTION_TEST_SUPPORT_H

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compensation/engine.h"
#include "engine/constants.h"
#include "engine/trace_format.h"
#include "support/trace_dir.h"

namespace compensation::testing {

inline constexpr double kLive = 99.0;

// One measurement in radians with its face sign set from its type, as the procedures leave it.
inline CVector Sight(double range, double azimuth, double elevation, int type = kTypeFrontSight,
                     double quality = kLive) {
    CVector v;
    v.Type = type;
    v.Range = range;
    v.Azimuth = azimuth;
    v.Elevation = elevation;
    v.Quality = quality;
    v.SeType();
    v.SetRadian(true);
    v.Sphr2Cart();
    return v;
}

inline int Count(const std::vector<CVector>& v) {
    return static_cast<int>(v.size());
}

// One view: the reference vector, the front sights {range, azimuth, elevation}, the back sights.
inline void AppendView(std::vector<CVector>& host, const std::vector<std::array<double, 3>>& t) {
    host.push_back(Sight(3.0, 0.3, 0.0, kTypeReferenceView));
    for (const int face : {kTypeFrontSight, kTypeBackSight}) {
        for (const std::array<double, 3>& s : t) {
            host.push_back(Sight(s[0], s[1], s[2], face));
        }
    }
}

// What `call` appends to a fresh engine's trace (the dumps are checked in the engine's tests).
template <typename Call>
std::string TraceOf(Call call) {
    ScopedTraceDir dir;
    CCompensation engine;
    const std::size_t mark = ReadFile(dir.file()).size();
    call(engine);
    return ReadFile(dir.file()).substr(mark);
}

}  // namespace compensation::testing

#endif  // COMPENSATION_TESTS_SELECTION_TEST_SUPPORT_H
