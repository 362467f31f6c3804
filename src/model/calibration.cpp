// CVector's calibration: the model itself is applied by model/raw_terms.h, which the fits use
// with the raw-reading terms they keep; inside a procedure run the terms come from the run's
// cache (model/raw_term_cache.h).
#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "model/raw_term_cache.h"
#include "model/raw_terms.h"

void CVector::Calibrate(TMapper* pMap) {
    SeType();
    CalibrateUncalibrate(pMap, true);
}

void CVector::UnCalibrate(TMapper* pMap) {
    SeType();
    CalibrateUncalibrate(pMap, false);
}

void CVector::CalibrateUncalibrate(TMapper* pMap, bool bCalibrate) {
    Radian = true;
    if (FSBS == 0) {
        return;
    }
    compensation::detail::ApplyModel(*this, *pMap, compensation::detail::RawTermsFor(*this),
                                     bCalibrate ? 1.0 : -1.0);
    Sphr2Cart();
}
