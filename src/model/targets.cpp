#include "compensation/targets.h"

#include "engine/constants.h"

CTarget::CTarget() : m_bNominal(true) {}
CTarget::CTarget(const CTarget& other) = default;
CTarget& CTarget::operator=(const CTarget& other) = default;
CTarget::~CTarget() = default;

bool CTarget::IsNominal() {
    return m_bNominal;
}

void CTarget::RadToDeg() {
    m_Vector2.RadToDeg();
    m_Vector1.RadToDeg();
}

void CTarget::DegToRad() {
    m_Vector2.DegToRad();
    m_Vector1.DegToRad();
}

CToolingBall::CToolingBall() : m_Value(0.0) {}
CToolingBall::CToolingBall(const CToolingBall& other) = default;
CToolingBall& CToolingBall::operator=(const CToolingBall& other) = default;
CToolingBall::~CToolingBall() = default;

CTrihedral::CTrihedral() : m_dAngle1(0.0), m_dAngle2(0.0), m_dAngle3(0.0) {}
CTrihedral::CTrihedral(const CTrihedral& other) = default;
CTrihedral& CTrihedral::operator=(const CTrihedral& other) = default;
CTrihedral::~CTrihedral() = default;

void CTrihedral::RadToDeg() {
    CTarget::RadToDeg();
    m_dAngle1 *= compensation::kRadToDeg;
    m_dAngle2 *= compensation::kRadToDeg;
    m_dAngle3 *= compensation::kRadToDeg;
}

void CTrihedral::DegToRad() {
    CTarget::DegToRad();
    m_dAngle1 *= compensation::kDegToRad;
    m_dAngle2 *= compensation::kDegToRad;
    m_dAngle3 *= compensation::kDegToRad;
}
