// The element lists of the fit families: a fixed constexpr array, or a leading part of one.
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

}  // namespace compensation::detail

#endif  // COMPENSATION_FITS_TABLE_H
