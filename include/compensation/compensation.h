// The compensation library: error model, compensation procedures and transforms of a laser
// tracker. Include this header to use all of it.
#ifndef COMPENSATION_COMPENSATION_H
#define COMPENSATION_COMPENSATION_H

#include "compensation/engine.h"
#include "compensation/exception.h"
#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/targets.h"
#include "compensation/tracing.h"
#include "compensation/transform.h"
#include "compensation/vector.h"

#endif  // COMPENSATION_COMPENSATION_H
