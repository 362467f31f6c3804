// Where the files a subcommand names come from: the files themselves by default. The Python
// module hands over the measurement sets, nominal points and models it holds in memory under
// names of their own, so that its runs take the tool's every check and message.
#ifndef COMPENSATE_INPUT_SOURCE_H
#define COMPENSATE_INPUT_SOURCE_H

#include <functional>
#include <string>

#include "compensation/mapper.h"
#include "measurement_csv.h"
#include "model_json.h"

namespace compensation::cli {

struct InputSource {
    std::function<MeasurementSet(const std::string& name, AngleUnit unitIfUnnamed)> measurements =
        ReadMeasurements;
    std::function<NominalPoints(const std::string& name)> nominal = ReadNominalPoints;
    std::function<TMapper(const std::string& name)> model = ReadModel;
};

}  // namespace compensation::cli

#endif  // COMPENSATE_INPUT_SOURCE_H
