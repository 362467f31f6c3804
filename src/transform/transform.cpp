#include "compensation/transform.h"

CTransform::CTransform() : m_pTargets(nullptr) {}

CTransform::CTransform(const CTransform& other) = default;

CTransform& CTransform::operator=(const CTransform& other) = default;

CTransform::~CTransform() = default;

void CTransform::SetTargets(CTarget* p) {
    m_pTargets = p;
}
