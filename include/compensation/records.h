// Records that the host owns and the library fills.
#ifndef COMPENSATION_RECORDS_H
#define COMPENSATION_RECORDS_H

#include <cstddef>
#include <cstdint>

// Result record of a compensation: spreads, predicted checks and chosen target pairs.
//
// Lengths are in metres, angles in degrees. The target numbers m_n1_* and m_n2_* are positions
// within a view counted from the view's Type 14 vector (its first target is 1); the host or the
// placement evaluators fill them before a full procedure reads them.
struct TCompOut {
    double m_dStdR_fb;           // two-face range spread
    double m_dStdAz_fb;          // two-face azimuth spread
    double m_dStdEl_fb;          // two-face elevation spread
    double m_dStdR_fbb;          // FBB two-face range spread
    double m_dStdAz_fbb;         // FBB two-face azimuth spread
    double m_dStdEl_fbb;         // FBB two-face elevation spread
    double m_dStdOutside;        // spread of the outside points
    double m_dStdExtraOutside;   // spread of the second outside set
    double m_dStdInside_f;       // interball distance spread, front sights
    double m_dStdInside_b;       // interball distance spread, back sights
    double m_dStdInside_f_out;   // the same over high-quality measurements only
    double m_dStdInside_b_out;   //
    double m_dStdx0y0;           // spread of the X0/Y0 fit
    double m_dStdaxay;           // spread of the interball fits
    double m_dStdIB_fbb;         // spread of the FBB and check-view interball fits
    double m_dStd2;              // spread of the D2 fit
    double m_dStdExtraIn;        // spread of the K_minus and El_ElC fits
    double m_dDd2_model;         // predicted D2 check
    double m_dDx0y0_model;       // predicted X0/Y0 check
    double m_dDaxay_model;       // predicted Ax/Ay check
    double m_dDd2;               // measured D2 check
    double m_dDx0y0;             // measured X0/Y0 check
    double m_dDaxay;             // measured Ax/Ay check
    double m_dDcm;               // spread of the pairwise K_minus estimates
    std::int32_t m_n1_d2;        // d2 pair, first target
    std::int32_t m_n2_d2;        // d2 pair, second target
    std::int32_t m_n1_x0y0;      // x0y0 pair, first target
    std::int32_t m_n2_x0y0;      // x0y0 pair, second target
    std::int32_t m_n1_axay;      // axay pair, first target
    std::int32_t m_n2_axay;      // axay pair, second target
    std::int32_t m_n1_extra;     // extra-outside pair, first target
    std::int32_t m_n2_extra;     // extra-outside pair, second target
    std::int32_t m_n_f;          // front-sight distances used
    std::int32_t m_n_b;          // back-sight distances used
    std::int32_t m_n_f_out;      // front-sight distances used, high quality only
    std::int32_t m_n_b_out;      // back-sight distances used, high quality only
    std::int32_t m_nConfidence;  // the CONFIDENCE score
    std::int32_t m_nInlineView;  // index of the in-line view, or -100
};

static_assert(offsetof(TCompOut, m_n1_d2) == 24 * sizeof(double), "24 doubles, then the ints");
static_assert(sizeof(TCompOut) == 24 * sizeof(double) + 14 * sizeof(std::int32_t),
              "TCompOut is 24 doubles and 14 ints");

// A rigid-body transform: a point P maps to M P + (X, Y, Z), M being the transpose of
// Rz(Gamma) Ry(Beta) Rx(Alpha). Angles in radians, translation in metres.
struct TRANSFORM_PARMS {
    double Alpha;
    double Beta;
    double Gamma;
    double X;
    double Y;
    double Z;
};

static_assert(sizeof(TRANSFORM_PARMS) == 6 * sizeof(double), "TRANSFORM_PARMS is 6 doubles");

#endif  // COMPENSATION_RECORDS_H
