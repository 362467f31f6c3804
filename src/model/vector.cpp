#include <cmath>

#include "compensation/vector.h"
#include "engine/constants.h"
#include "model/vec3.h"

using namespace compensation;

CVector::CVector()
    : Quality(0.0),
      Range(0.0),
      Azimuth(0.0),
      Elevation(0.0),
      X(0.0),
      Y(0.0),
      Z(0.0),
      T(0.0),
      Type(0),
      FSBS(0),
      Radian(false) {}

CVector::CVector(const CVector& other) = default;

CVector& CVector::operator=(const CVector& other) = default;

CVector::~CVector() = default;

void CVector::SetRadian(bool bRadian) {
    Radian = bRadian;
}

void CVector::RadToDeg() {
    if (Radian) {
        Azimuth *= kRadToDeg;
        Elevation *= kRadToDeg;
        Radian = false;
    }
}

void CVector::DegToRad() {
    if (!Radian) {
        Azimuth *= kDegToRad;
        Elevation *= kDegToRad;
        Radian = true;
    }
}

void CVector::Sphr2Cart() {
    DegToRad();
    const double horizontal = Range * std::cos(Elevation);
    X = -horizontal * std::sin(Azimuth);
    Y = Range * std::sin(Elevation);
    Z = horizontal * std::cos(Azimuth);
}

void CVector::Cart2Sphr() {
    Range = std::sqrt(std::fabs(X * X + Y * Y + Z * Z));
    Azimuth = -std::atan2(X, Z);
    Elevation = std::atan2(Y, std::sqrt(std::fabs(X * X + Z * Z)));
}

void CVector::SeType() {
    if (Type == kTypeFrontSight || Type == kTypeReferenceView) {
        FSBS = 1;
    } else if (Type == kTypeBackSight) {
        FSBS = -1;
    }
}

void CVector::Flip() {
    if (Radian) {
        Azimuth -= kPi;
        Elevation = -kPi - Elevation;
    } else {
        Azimuth -= 180.0;
        Elevation = -180.0 - Elevation;
    }
}

double CVector::InterVectorRange(CVector a, CVector b) {
    return DistanceBetween(a, b);
}

double CVector::InterVectorAngle(CVector a, CVector b) {
    return std::acos((a.X * b.X + a.Y * b.Y + a.Z * b.Z) / (a.Range * b.Range));
}
