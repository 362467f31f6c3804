// The rigid-body transform between the nominal frame and the instrument frame.
//
// A nominal point P is carried to M P + t. M is the transpose of Rz(Gamma) Ry(Beta) Rx(Alpha),
// that is Rx(-Alpha) Ry(-Beta) Rz(-Gamma): the frame is turned by Gamma about Z, then Beta about
// the new Y, then Alpha about the new X, and points are expressed in the turned frame.
#include <cmath>

#include "compensation/transform.h"

CTransform::CTransform() : m_pTargets(nullptr), m_mapped(), m_reading() {}

CTransform::CTransform(const CTransform& other) = default;

CTransform& CTransform::operator=(const CTransform& other) = default;

CTransform::~CTransform() = default;

void CTransform::SetTargets(CTarget* p) {
    m_pTargets = p;
}

void CTransform::RotationMatrix(TRANSFORM_PARMS* p, double M[3][3]) {
    const double ca = std::cos(p->Alpha);
    const double sa = std::sin(p->Alpha);
    const double cb = std::cos(p->Beta);
    const double sb = std::sin(p->Beta);
    const double cg = std::cos(p->Gamma);
    const double sg = std::sin(p->Gamma);

    M[0][0] = cb * cg;
    M[0][1] = cb * sg;
    M[0][2] = -sb;
    M[1][0] = sa * sb * cg - ca * sg;
    M[1][1] = sa * sb * sg + ca * cg;
    M[1][2] = sa * cb;
    M[2][0] = ca * sb * cg + sa * sg;
    M[2][1] = ca * sb * sg - sa * cg;
    M[2][2] = ca * cb;
}

namespace {

// Copies pVec[i] into result and carries its Cartesian point through p; the spherical readings
// are recomputed so that they describe the mapped point.
void MapInto(CTransform& transform, const CVector& source, TRANSFORM_PARMS* p, CVector& result) {
    result = source;
    double M[3][3];
    transform.RotationMatrix(p, M);
    const double X = source.X;
    const double Y = source.Y;
    const double Z = source.Z;
    result.X = (M[0][0] * X + M[0][2] * Z) + M[0][1] * Y + p->X;
    result.Y = (M[1][0] * X + M[1][2] * Z) + M[1][1] * Y + p->Y;
    result.Z = (M[2][0] * X + M[2][2] * Z) + M[2][1] * Y + p->Z;
    result.Cart2Sphr();
}

}  // namespace

// The result lives in the object and is overwritten by every call on it; callers copy it before
// asking for the next point.
CVector* CTransform::GetNextVector(int i, TRANSFORM_PARMS* p, CVector* pVec) {
    MapInto(*this, pVec[i], p, m_mapped);
    return &m_mapped;
}

// The mapped point as an instrument with the error model pMap would read it.
CVector* CTransform::GetNextVectorCal(int i, TRANSFORM_PARMS* p, CVector* pVec, TMapper* pMap) {
    MapInto(*this, pVec[i], p, m_reading);
    m_reading.UnCalibrate(pMap);
    return &m_reading;
}

// The absolute value before the root keeps negative weights from failing the root; they only
// distort the figure.
double CTransform::RMS_Transform(CVector* pA, CVector* pB, double* pW, int n) {
    double weighted = 0.0;
    double weights = 0.0;
    for (int i = 0; i < n; ++i) {
        const double dx = pA[i].X - pB[i].X;
        const double dy = pA[i].Y - pB[i].Y;
        const double dz = pA[i].Z - pB[i].Z;
        weighted += pW[i] * (dx * dx + dy * dy + dz * dz);
        weights += pW[i];
    }
    return std::sqrt(std::fabs(weighted / weights));
}
