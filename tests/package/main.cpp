#include <compensation/compensation.h>

#include <cstdio>

int main() {
    TMapper model{};    // the instrument's error model, degrees and metres
    model.A1 = 0.0012;  // e.g. loaded from the host's store
    model.D1 = 3.0e-6;

    CVector reading;           // one raw front-sight reading
    reading.Type = 100;        // 14 reference view, 100 front sight, 200 back sight
    reading.Range = 4.2;       // metres
    reading.Azimuth = 0.61;    // radians
    reading.Elevation = 0.12;  // radians
    reading.T = 20.0;          // the scalar of the model's _dT terms (e.g. temperature)

    reading.Calibrate(&model);  // corrected Range, Azimuth, Elevation and X, Y, Z
    std::printf("X %.9f  Y %.9f  Z %.9f\n", reading.X, reading.Y, reading.Z);
    return 0;
}
