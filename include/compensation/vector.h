// One measurement of one target by the laser tracker.
#ifndef COMPENSATION_VECTOR_H
#define COMPENSATION_VECTOR_H

#include <cstdint>

#include "compensation/export.h"

struct TMapper;

// A range and two angles, the same point in Cartesian form, the face and the host's type code.
//
// Axis convention (angles in radians): X = -R cos(El) sin(Az), Y = R sin(El) (vertical),
// Z = R cos(El) cos(Az). Zero azimuth looks along +Z, positive azimuth turns toward -X.
//
// Type codes: 14 opens a view (reference view), 100 is a front sight, 200 a back sight.
// FSBS is the face sign: +1 front sight, -1 back sight, 0 unset (never calibrated).
// A measurement is usable while Quality > 50.0; the library marks rejections by lowering it.
class COMPENSATION_EXPORT CVector {
  public:
    CVector();
    CVector(const CVector& other);
    CVector& operator=(const CVector& other);
    virtual ~CVector();

    // Relabels the angles without converting them.
    void SetRadian(bool bRadian);
    // Converts the angles when they are held in the other unit; otherwise does nothing.
    void RadToDeg();
    void DegToRad();
    // Converts the angles to radians, then sets X, Y, Z from Range, Azimuth, Elevation.
    void Sphr2Cart();
    // Sets Range, Azimuth, Elevation (radians) from X, Y, Z; Radian is left as it was.
    void Cart2Sphr();
    // Derives FSBS from Type: 14 and 100 give +1, 200 gives -1, any other Type leaves FSBS.
    void SeType();
    // The reading of the same direction in the other face: Az - pi, -pi - El (or 180 degrees).
    void Flip();

    // Distance between the Cartesian points of a and b; the object itself plays no part.
    double InterVectorRange(CVector a, CVector b);
    // Angle between the directions of a and b, divided by their stored ranges, not clamped.
    double InterVectorAngle(CVector a, CVector b);

    // Applies the error model (raw reading to true direction), or removes it. Both set FSBS
    // from Type first and read the angles as radians.
    void Calibrate(TMapper* pMap);
    void UnCalibrate(TMapper* pMap);

    double Quality;
    double Range;
    double Azimuth;
    double Elevation;
    double X;
    double Y;
    double Z;
    double T;
    std::int32_t Type;
    std::int32_t FSBS;
    bool Radian;

  private:
    void CalibrateUncalibrate(TMapper* pMap, bool bCalibrate);
};

#endif  // COMPENSATION_VECTOR_H
