// The design rows and observations of the two-face fits, with the slopes the run report's
// rows take of them.
#include <algorithm>
#include <cmath>

#include "fits/two_face_fit.h"

namespace compensation::detail::two_face {

// --- Design rows --------------------------------------------------------------------------

void UnitRow(const CalibratedPair& /*pair*/, int /*columns*/, double* row, RowSlopes* slopes) {
    row[0] = 1.0;
    if (slopes != nullptr) {
        slopes->byAzimuth[0] = 0.0;
        slopes->byElevation[0] = 0.0;
    }
}

namespace {

// The elevation moves the half-angle by -1/2 per radian.
constexpr double kHalfAnglePerElevation = -0.5;

}  // namespace

void HarmonicRangeRow(const CalibratedPair& pair, int /*columns*/, double* row, RowSlopes* slopes) {
    const double g = 2.0 * std::sin(pair.h) - 1.0;
    const double sinAz = std::sin(pair.azF);
    const double cosAz = std::cos(pair.azF);
    row[0] = 2.0 * std::sin(2.0 * pair.h);
    row[1] = 2.0 * g * sinAz;
    row[2] = 2.0 * g * cosAz;
    if (slopes != nullptr) {
        const double dg = 2.0 * std::cos(pair.h) * kHalfAnglePerElevation;
        const double byAzimuth[] = {0.0, 2.0 * g * cosAz, -2.0 * g * sinAz};
        const double byElevation[] = {4.0 * std::cos(2.0 * pair.h) * kHalfAnglePerElevation,
                                      2.0 * dg * sinAz, 2.0 * dg * cosAz};
        std::copy(byAzimuth, byAzimuth + 3, slopes->byAzimuth);
        std::copy(byElevation, byElevation + 3, slopes->byElevation);
    }
}

void QuickAzimuthRow(const CalibratedPair& pair, int /*columns*/, double* row, RowSlopes* slopes) {
    const double sinAz = std::sin(pair.azF);
    const double cosAz = std::cos(pair.azF);
    row[0] = std::tan(pair.h);
    row[1] = -1.0 / std::cos(pair.h);
    row[2] = sinAz;
    row[3] = cosAz;
    if (slopes != nullptr) {
        // d tan h / dh = 1 + tan^2 h; d(-1/cos h)/dh = (-1/cos h) tan h.
        const double byAzimuth[] = {0.0, 0.0, cosAz, -sinAz};
        const double byElevation[] = {(1.0 + row[0] * row[0]) * kHalfAnglePerElevation,
                                      row[1] * row[0] * kHalfAnglePerElevation, 0.0, 0.0};
        std::copy(byAzimuth, byAzimuth + 4, slopes->byAzimuth);
        std::copy(byElevation, byElevation + 4, slopes->byElevation);
    }
}

void HarmonicAzimuthRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes) {
    const double t = std::tan(pair.h);
    const double u = -1.0 / std::cos(pair.h);
    // The series columns read harmonics 2 and 4, the full fit's add 1 and 3, the six-harmonic
    // fit's 5 and 6; a harmonic no leading column reads is left at 0.
    const auto read = [columns](int k) {
        if (k == 1 || k == 3) {
            return columns > static_cast<int>(kSeriesAzimuthColumns);
        }
        if (k == 5 || k == 6) {
            return columns > static_cast<int>(kFullAzimuthColumns);
        }
        return true;
    };
    double s[7] = {};
    double c[7] = {};
    for (int k = 1; k <= 6; ++k) {
        if (read(k)) {
            s[k] = std::sin(k * pair.azF);
            c[k] = std::cos(k * pair.azF);
        }
    }
    const double values[kMaxColumns] = {t,        t * s[2], t * c[2], t * s[4], t * c[4],
                                        u,        u * s[2], u * c[2], u * s[4], u * c[4],
                                        s[1],     c[1],     s[3],     c[3],     t * s[6],
                                        t * c[6], u * s[6], u * c[6], s[5],     c[5]};
    for (int k = 0; k < kMaxColumns; ++k) {
        row[k] = values[k];
    }
    if (slopes == nullptr) {
        return;
    }
    // d s_k = k c_k, d c_k = -k s_k by the azimuth; d t = 1 + t^2, d u = u t by the half-angle.
    double ds[7] = {};
    double dc[7] = {};
    for (int k = 1; k <= 6; ++k) {
        ds[k] = k * c[k];
        dc[k] = -k * s[k];
    }
    const double byAzimuth[kMaxColumns] = {0.0,       t * ds[2], t * dc[2], t * ds[4], t * dc[4],
                                           0.0,       u * ds[2], u * dc[2], u * ds[4], u * dc[4],
                                           ds[1],     dc[1],     ds[3],     dc[3],     t * ds[6],
                                           t * dc[6], u * ds[6], u * dc[6], ds[5],     dc[5]};
    const double dt = (1.0 + t * t) * kHalfAnglePerElevation;
    const double du = u * t * kHalfAnglePerElevation;
    const double byElevation[kMaxColumns] = {dt,        dt * s[2], dt * c[2], dt * s[4], dt * c[4],
                                             du,        du * s[2], du * c[2], du * s[4], du * c[4],
                                             0.0,       0.0,       0.0,       0.0,       dt * s[6],
                                             dt * c[6], du * s[6], du * c[6], 0.0,       0.0};
    std::copy(byAzimuth, byAzimuth + kMaxColumns, slopes->byAzimuth);
    std::copy(byElevation, byElevation + kMaxColumns, slopes->byElevation);
}

void HarmonicElevationRow(const CalibratedPair& pair, int columns, double* row, RowSlopes* slopes) {
    // The quick fit reads no fourth harmonic, the full fit no sixth.
    const int harmonics = columns > static_cast<int>(kFullElevationColumns)    ? 6
                          : columns > static_cast<int>(kQuickElevationColumns) ? 4
                                                                               : 2;
    row[0] = 1.0;
    row[3] = std::sin(pair.h);
    if (slopes != nullptr) {
        slopes->byAzimuth[0] = 0.0;
        slopes->byElevation[0] = 0.0;
        slopes->byAzimuth[3] = 0.0;
        slopes->byElevation[3] = std::cos(pair.h) * kHalfAnglePerElevation;
    }
    // Harmonic k sits at columns 1, 2 (k = 2), 4, 5 (k = 4) and 6, 7 (k = 6).
    for (int k = 2; k <= harmonics; k += 2) {
        const int at = k == 2 ? 1 : k;
        const double sine = std::sin(k * pair.azF);
        const double cosine = std::cos(k * pair.azF);
        row[at] = sine;
        row[at + 1] = cosine;
        if (slopes != nullptr) {
            slopes->byAzimuth[at] = k * cosine;
            slopes->byAzimuth[at + 1] = -k * sine;
            slopes->byElevation[at] = 0.0;
            slopes->byElevation[at + 1] = 0.0;
        }
    }
}

void ElevationSineRow(const CalibratedPair& pair, int /*columns*/, double* row, RowSlopes* slopes) {
    row[0] = 1.0;
    row[1] = std::sin(pair.h);
    if (slopes != nullptr) {
        slopes->byAzimuth[0] = slopes->byAzimuth[1] = 0.0;
        slopes->byElevation[0] = 0.0;
        slopes->byElevation[1] = std::cos(pair.h) * kHalfAnglePerElevation;
    }
}

void CubicElevationRow(const CalibratedPair& pair, int /*columns*/, double* row,
                       RowSlopes* slopes) {
    const double e = pair.elF;
    row[0] = 1.0;
    row[1] = e;
    row[2] = e * e;
    row[3] = e * e * e;
    if (slopes != nullptr) {
        const double byElevation[] = {0.0, 1.0, 2.0 * e, 3.0 * e * e};
        std::fill(slopes->byAzimuth, slopes->byAzimuth + 4, 0.0);
        std::copy(byElevation, byElevation + 4, slopes->byElevation);
    }
}

// --- Observations and measures ------------------------------------------------------------

double HalfRangeDifferenceOverCosine(const CalibratedPair& pair, ObservationSlopes* slopes) {
    const double cosEl = std::cos(pair.elF);
    if (slopes != nullptr) {
        *slopes = {-0.5 / cosEl, 0.0, 0.0, 0.0,
                   -pair.dR * 0.5 * std::sin(pair.elF) / (cosEl * cosEl)};
    }
    return -pair.dR * 0.5 / cosEl;
}

double RangeBackMinusFront(const CalibratedPair& pair, ObservationSlopes* slopes) {
    if (slopes != nullptr) {
        *slopes = {-1.0, 0.0, 0.0, 0.0, 0.0};
    }
    return -pair.dR;
}

double AzimuthDifference(const CalibratedPair& pair, ObservationSlopes* slopes) {
    if (slopes != nullptr) {
        *slopes = {0.0, 1.0, 0.0, 0.0, 0.0};
    }
    return pair.dAz;
}

double ElevationDifference(const CalibratedPair& pair, ObservationSlopes* slopes) {
    if (slopes != nullptr) {
        *slopes = {0.0, 0.0, 1.0, 0.0, 0.0};
    }
    return pair.dEl;
}

double PairDistance(const CalibratedPair& pair) {
    return pair.distance;
}

double AbsoluteElevationDifference(const CalibratedPair& pair) {
    return std::fabs(pair.dEl);
}

}  // namespace compensation::detail::two_face
