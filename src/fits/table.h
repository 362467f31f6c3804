// What the fit families' compile-time tables are made of: spans over constexpr arrays (a whole
// array or a leading part of one), and records whose fields are set by name.
#ifndef COMPENSATION_FITS_TABLE_H
#define COMPENSATION_FITS_TABLE_H

#include <cstddef>

namespace compensation::detail {

template <typename T>
class Table {
  public:
    constexpr Table() = default;
    template <std::size_t N>
    constexpr Table(const T (&items)[N]) : items_(items), size_(N) {}
    constexpr Table(const T* items, std::size_t size) : items_(items), size_(size) {}
    constexpr const T* begin() const { return items_; }
    constexpr const T* end() const { return items_ + size_; }
    constexpr std::size_t size() const { return size_; }
    constexpr const T& operator[](std::size_t i) const { return items_[i]; }
    // The first `count` items: the smaller members of a family solve a leading part of the
    // largest member's table.
    constexpr Table Leading(std::size_t count) const { return Table(items_, count); }

  private:
    const T* items_ = nullptr;
    std::size_t size_ = 0;
};

// Keeps a template argument out of deduction, so that a literal takes the field's type.
template <typename T>
struct Same {
    using type = T;
};

// A base for the fits' constexpr records: record.With(&Record::field, value) is a copy with one
// field set, so that a record reads as a list of labelled settings rather than positions.
template <typename Record>
struct Labelled {
    template <typename Field>
    constexpr Record With(Field Record::*field, typename Same<Field>::type value) const {
        Record record = static_cast<const Record&>(*this);
        record.*field = value;
        return record;
    }
};

}  // namespace compensation::detail

#endif  // COMPENSATION_FITS_TABLE_H
