// Physical targets with two readings each.
#ifndef COMPENSATION_TARGETS_H
#define COMPENSATION_TARGETS_H

#include <cstdint>

#include "compensation/export.h"
#include "compensation/vector.h"

// A target and two readings of it. Conversions are guarded by the vectors' own Radian flags.
class COMPENSATION_EXPORT CTarget {
  public:
    CTarget();
    CTarget(const CTarget& other);
    CTarget& operator=(const CTarget& other);
    virtual ~CTarget();

    bool IsNominal();
    virtual void DegToRad();
    virtual void RadToDeg();

    CVector m_Vector1;
    CVector m_Vector2;
    bool m_bNominal;
};

// A tooling ball; m_Value is the host's own 8-byte datum, copied with the object.
class COMPENSATION_EXPORT CToolingBall : public CTarget {
  public:
    CToolingBall();
    CToolingBall(const CToolingBall& other);
    CToolingBall& operator=(const CToolingBall& other);
    ~CToolingBall() override;

    double m_Value;
};

// A trihedral reflector with three angles. The angles carry no unit flag: each conversion
// scales them again, so a host converts a trihedral once per change of unit.
class COMPENSATION_EXPORT CTrihedral : public CTarget {
  public:
    CTrihedral();
    CTrihedral(const CTrihedral& other);
    CTrihedral& operator=(const CTrihedral& other);
    ~CTrihedral() override;

    void DegToRad() override;
    void RadToDeg() override;

    double m_dAngle1;
    double m_dAngle2;
    double m_dAngle3;
};

#endif  // COMPENSATION_TARGETS_H
