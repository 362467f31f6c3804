// Turning a fuzzer's bytes into the arguments of a call, and the arguments of a real call back
// into bytes (the seeds). Reads past the end give zeros, so every input decodes to something.
#ifndef COMPENSATION_TESTS_FUZZ_BYTE_READER_H
#define COMPENSATION_TESTS_FUZZ_BYTE_READER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/vector.h"
#include "model/mapper_elements.h"

namespace compensation::fuzz {

class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <typename T>
    T Take() {
        T value{};
        const std::size_t n = std::min(sizeof(T), size_ - at_);
        if (n > 0) {
            std::memcpy(&value, data_ + at_, n);
        }
        at_ += n;
        return value;
    }
    bool Empty() const { return at_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class ByteWriter {
  public:
    template <typename T>
    void Put(T value) {
        const char* bytes = reinterpret_cast<const char*>(&value);
        text_.append(bytes, sizeof(T));
    }
    const std::string& Bytes() const { return text_; }

  private:
    std::string text_;
};

// A measurement as the harnesses encode it: a type code (the three types, their signed forms,
// or any int), the face sign, then range, azimuth, elevation (radians), T and quality.
enum TypeCode : std::uint8_t { kRef = 0, kFront, kBack, kSignedFront, kSignedBack, kRawType };

inline CVector TakeVector(ByteReader& in) {
    CVector v;
    const auto code = in.Take<std::uint8_t>();
    switch (code % 8) {
        case kRef:
            v.Type = 14;
            break;
        case kFront:
            v.Type = 100;
            break;
        case kBack:
            v.Type = 200;
            break;
        case kSignedFront:
            v.Type = -100;
            break;
        case kSignedBack:
            v.Type = -200;
            break;
        default:
            v.Type = in.Take<std::int32_t>();
            break;
    }
    v.FSBS = in.Take<std::int8_t>();
    v.Range = in.Take<double>();
    v.Azimuth = in.Take<double>();
    v.Elevation = in.Take<double>();
    v.T = in.Take<double>();
    v.Quality = in.Take<double>();
    v.Radian = true;
    v.Sphr2Cart();
    return v;
}

inline void PutVector(ByteWriter& out, const CVector& v) {
    std::uint8_t code = kRawType;
    switch (v.Type) {
        case 14:
            code = kRef;
            break;
        case 100:
            code = kFront;
            break;
        case 200:
            code = kBack;
            break;
        case -100:
            code = kSignedFront;
            break;
        case -200:
            code = kSignedBack;
            break;
        default:
            break;
    }
    out.Put(code);
    if (code == kRawType) {
        out.Put<std::int32_t>(v.Type);
    }
    out.Put<std::int8_t>(static_cast<std::int8_t>(v.FSBS));
    for (double x : {v.Range, v.Azimuth, v.Elevation, v.T, v.Quality}) {
        out.Put(x);
    }
}

// An array: a 16-bit length, then its measurements.
inline std::vector<CVector> TakeArray(ByteReader& in) {
    const auto n = in.Take<std::uint16_t>();
    std::vector<CVector> array;
    for (std::uint16_t i = 0; i < n && !in.Empty(); ++i) {
        array.push_back(TakeVector(in));
    }
    return array;
}

inline void PutArray(ByteWriter& out, const std::vector<CVector>& array) {
    out.Put(static_cast<std::uint16_t>(array.size()));
    for (const CVector& v : array) {
        PutVector(out, v);
    }
}

// A starting model: a flag byte, then (when its low bit is set) the 83 elements in index order;
// else the zero model.
inline bool TakeModel(ByteReader& in, TMapper* model) {
    const bool withModel = (in.Take<std::uint8_t>() & 1) != 0;
    if (withModel) {
        for (const MapperElement& e : kMapperElements) {
            model->*e.member = in.Take<double>();
        }
    }
    return withModel;
}

inline void PutModel(ByteWriter& out, bool withModel, const TMapper& model) {
    out.Put(static_cast<std::uint8_t>(withModel ? 1 : 0));
    if (withModel) {
        for (const MapperElement& e : kMapperElements) {
            out.Put(model.*e.member);
        }
    }
}

}  // namespace compensation::fuzz

#endif  // COMPENSATION_TESTS_FUZZ_BYTE_READER_H
